// The tested-list model and the "Tested" box strings.
#include "catalogue/TestedList.h"

#include <utility>

namespace vestrel::catalogue {

std::size_t TestedList::InsertRow(std::size_t index, TestedRow row) {
    if (index > rows_.size()) index = rows_.size();
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), std::move(row));
    if (observer_ != nullptr) observer_->RowInserted(index);
    return index;
}

void TestedList::SetCell(std::size_t index, std::size_t column, std::string text) {
    rows_.at(index).at(column) = std::move(text);
    if (observer_ != nullptr) observer_->CellChanged(index, column);
}

bool TestedList::DeleteRow(std::size_t index) {
    if (index >= rows_.size()) return false;
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
    if (observer_ != nullptr) observer_->RowDeleted(index);
    return true;
}

void TestedList::DeleteAllRows() {
    rows_.clear();
    if (observer_ != nullptr) observer_->AllRowsDeleted();
}

std::int32_t FindTestedRow(const TestedList& list, std::string_view key) {
    for (std::size_t i = 0; i < list.RowCount(); ++i) {
        if (list.Cell(i, kAddressColumn) == key) return static_cast<std::int32_t>(i);
    }
    return -1;
}

bool PutTestedRow(TestedList& list, TestedRow row) {
    const std::int32_t found = FindTestedRow(list, row[kAddressColumn]);
    if (found < 0) {
        list.AppendRow(std::move(row));
        return true;
    }
    const auto index = static_cast<std::size_t>(found);
    list.DeleteRow(index);
    list.InsertRow(index, std::move(row));
    return false;
}

void TestedBox::Empty() {
    strings_.clear();
    strings_.emplace_back(kPerformEmptyList);
}

void TestedBox::Fill(const std::vector<std::string>& file_lines) {
    Empty();
    strings_.insert(strings_.end(), file_lines.begin(), file_lines.end());
}

}  // namespace vestrel::catalogue
