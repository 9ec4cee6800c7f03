// The proxies the user has tested or typed in: an ordered list of rows of five text columns, kept
// apart from any window so that a list view can mirror it, and the status page's "Tested" box, a
// second list of strings that is filled from the file once and then only grows or is emptied.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vestrel::catalogue {

enum TestedColumn : std::size_t {
    kAddressColumn = 0,
    kCountryColumn = 1,
    kResponseTimeColumn = 2,
    kDownloadSpeedColumn = 3,
    // The proxy's grade from the judge; it lives in the grade file, never in MyProxies.txt.
    kGradeColumn = 4,
};
inline constexpr std::size_t kTestedColumnCount = 5;
inline constexpr std::array<std::string_view, kTestedColumnCount> kTestedColumnHeaders = {
    "Proxy IP and Port", "Country", "Response Time", "Download Speed", "Anonymity"};
inline constexpr std::string_view kNotTested = "Not Tested";
// The Tested list page shows one column more than the list has: the proxy's type ("HTTP", "SOCKS4",
// "SOCKS5"), which it reads from the address column.
inline constexpr std::size_t kTypeViewColumn = kTestedColumnCount;
inline constexpr std::string_view kTypeHeader = "Type";

using TestedRow = std::array<std::string, kTestedColumnCount>;

class TestedList {
  public:
    // Told of every change, so that a list view can follow the model row for row.
    class Observer {
      public:
        virtual ~Observer() = default;
        virtual void RowInserted(std::size_t index) = 0;
        virtual void RowDeleted(std::size_t index) = 0;
        virtual void CellChanged(std::size_t index, std::size_t column) = 0;
        virtual void AllRowsDeleted() = 0;
    };

    void SetObserver(Observer* observer) { observer_ = observer; }

    std::size_t RowCount() const { return rows_.size(); }
    const TestedRow& Row(std::size_t index) const { return rows_.at(index); }
    const std::string& Cell(std::size_t index, std::size_t column) const {
        return rows_.at(index).at(column);
    }
    const std::vector<TestedRow>& Rows() const { return rows_; }

    // Inserts at `index`, or at the end when `index` is past it (as a list view does); returns the
    // index the row got.
    std::size_t InsertRow(std::size_t index, TestedRow row);
    std::size_t AppendRow(TestedRow row) { return InsertRow(rows_.size(), std::move(row)); }
    void SetCell(std::size_t index, std::size_t column, std::string text);
    // False when there is no such row.
    bool DeleteRow(std::size_t index);
    void DeleteAllRows();

  private:
    std::vector<TestedRow> rows_;
    Observer* observer_ = nullptr;
};

// Index of the first row whose address column equals `key` exactly (byte-wise, case-sensitive), or -1.
std::int32_t FindTestedRow(const TestedList& list, std::string_view key);

// Records a freshly tested proxy: a new address goes to the end of the list, a known one replaces its
// row in place. True when the row is new.
bool PutTestedRow(TestedList& list, TestedRow row);

// The status page's "Tested" box. Its first entry is the command that empties the tested list.
inline constexpr std::string_view kPerformEmptyList = "Perform empty list";

class TestedBox {
  public:
    TestedBox() { Empty(); }
    // Back to the command entry alone.
    void Empty();
    void Add(std::string text) { strings_.push_back(std::move(text)); }
    // The command entry, then each complete line of the file's text, unsplit.
    void Fill(const std::vector<std::string>& file_lines);
    const std::vector<std::string>& Strings() const { return strings_; }

  private:
    std::vector<std::string> strings_;
};

}  // namespace vestrel::catalogue
