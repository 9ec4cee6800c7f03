// Quick anonymity's search.
#include "app/QuickAnonymity.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <thread>
#include <unordered_map>
#include <utility>

#include "catalogue/ProxyText.h"
#include "catalogue/TestedFile.h"
#include "catalogue/TestedList.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {

bool QuickUsable(const catalogue::JudgeResult& judged) {
    return judged.https &&
           (judged.grade == catalogue::Grade::kElite || judged.grade == catalogue::Grade::kAnonymous);
}

std::string QuickProgressText(std::size_t tested, std::size_t total, std::size_t working) {
    return "Tested " + std::to_string(tested) + " of " + std::to_string(total) + " \xE2\x80\x94 " +
           std::to_string(working) + " working";
}

QuickSearch::QuickSearch(std::vector<std::string> lines, const std::vector<std::uint32_t>& known_ms,
                         QuickSearchOptions options)
    : lines_(std::move(lines)), options_(options) {
    targets_.reserve(lines_.size());
    for (const std::string& line : lines_)
        targets_.push_back({catalogue::ProxyHost(line), catalogue::ProxyPort(line)});
    order_.resize(lines_.size());
    for (std::size_t i = 0; i < order_.size(); ++i) order_[i] = i;
    const auto known = [&](std::size_t i) { return i < known_ms.size() ? known_ms[i] : 0u; };
    std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
        const std::uint32_t ka = known(a);
        const std::uint32_t kb = known(b);
        if ((ka != 0) != (kb != 0)) return ka != 0;
        return ka != 0 && ka < kb;
    });
}

bool QuickSearch::Enough() const { return elite_ >= options_.wanted; }

void QuickSearch::Pass(const std::vector<std::size_t>& order, std::chrono::milliseconds limit,
                       const catalogue::JudgeFunction& judge, std::vector<std::size_t>* silent) {
    // The sweep hands each proxy that connected to the judges through this queue.
    std::mutex queue_mutex;
    std::condition_variable queue_changed;
    std::deque<std::pair<std::size_t, std::uint32_t>> queue;
    bool sweep_over = false;

    const auto judge_worker = [&] {
        for (;;) {
            std::pair<std::size_t, std::uint32_t> next;
            {
                std::unique_lock lock(queue_mutex);
                queue_changed.wait(lock, [&] { return !queue.empty() || sweep_over || stop_; });
                if (stop_ || queue.empty()) return;
                next = queue.front();
                queue.pop_front();
            }
            const auto [index, ms] = next;
            std::optional<catalogue::JudgeResult> judged;
            try {
                judged = judge(catalogue::ProxyRouteOf(lines_[index]), stop_);
            } catch (...) {
                // A check that cannot be made leaves the proxy unused.
            }
            if (stop_) return;
            ++tested_;
            if (!judged || !QuickUsable(*judged)) continue;
            {
                std::lock_guard lock(mutex_);
                // Kept as the protocol it answered in.
                found_.push_back({catalogue::TextAsJudged(lines_[index], *judged), ms, *judged});
            }
            ++working_;
            if (judged->grade == catalogue::Grade::kElite && ++elite_ >= options_.wanted) {
                stop_ = true;
                queue_changed.notify_all();
            }
        }
    };
    std::vector<std::thread> judges;
    for (std::size_t i = 0; i < std::max<std::size_t>(options_.judges_at_once, 1); ++i) {
        try {
            judges.emplace_back(judge_worker);
        } catch (const std::system_error&) {
            break;  // fewer judges only make the search slower
        }
    }

    catalogue::SweepOptions sweep;
    sweep.max_at_once = options_.connects_at_once;
    sweep.limit = limit;
    sweep.stop = &stop_;
    catalogue::SweepConnects(targets_, order, sweep,
                             [&](std::size_t index, catalogue::ConnectEnd end, std::uint32_t ms) {
                                 if (end == catalogue::ConnectEnd::kConnected) {
                                     if (judges.empty()) {
                                         ++tested_;
                                         return;
                                     }
                                     std::lock_guard lock(queue_mutex);
                                     queue.emplace_back(index, ms);
                                     queue_changed.notify_one();
                                     return;
                                 }
                                 if (end == catalogue::ConnectEnd::kSilent && silent != nullptr)
                                     silent->push_back(index);
                                 ++tested_;
                             });
    {
        std::lock_guard lock(queue_mutex);
        sweep_over = true;
    }
    queue_changed.notify_all();
    for (std::thread& thread : judges) thread.join();
}

void QuickSearch::Run(const catalogue::JudgeFunction& judge) {
    std::vector<std::size_t> silent;
    Pass(order_, options_.first_limit, judge, &silent);
    if (!stop_ && working_ == 0 && !silent.empty()) {
        // The second pass counts its proxies again as it tries them.
        tested_ -= silent.size();
        Pass(silent, options_.second_limit, judge, nullptr);
    }
}

std::optional<QuickFind> QuickSearch::FirstElite() const {
    if (elite_ == 0) return std::nullopt;
    std::lock_guard lock(mutex_);
    for (const QuickFind& find : found_) {
        if (find.judged.grade == catalogue::Grade::kElite) return find;
    }
    return std::nullopt;
}

std::vector<QuickFind> QuickSearch::Usable() const {
    std::vector<QuickFind> usable;
    {
        std::lock_guard lock(mutex_);
        usable = found_;
    }
    std::stable_sort(usable.begin(), usable.end(), [](const QuickFind& a, const QuickFind& b) {
        const bool a_elite = a.judged.grade == catalogue::Grade::kElite;
        const bool b_elite = b.judged.grade == catalogue::Grade::kElite;
        if (a_elite != b_elite) return a_elite;
        return a.connect_ms < b.connect_ms;
    });
    return usable;
}

std::vector<std::uint32_t> KnownConnectTimes(const std::vector<std::string>& lines) {
    const catalogue::TestedList& tested = TheProxyLists().tested;
    std::vector<std::uint32_t> times(lines.size(), 0);
    if (tested.RowCount() == 0) return times;
    // By address and port alone: a bare line of the New list is the proxy a Tested row keeps with the
    // scheme of the protocol it answered in.
    std::unordered_map<std::string, std::uint32_t> known;
    for (std::size_t row = 0; row < tested.RowCount(); ++row) {
        // "123 milliseconds" or "123 miliseconds": the number leads.
        const std::string& text = tested.Cell(row, catalogue::kResponseTimeColumn);
        known.emplace(catalogue::AddressKeyOf(tested.Cell(row, catalogue::kAddressColumn)),
                      static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 10)));
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (const auto found = known.find(catalogue::AddressKeyOf(lines[i])); found != known.end())
            times[i] = found->second;
    }
    return times;
}

bool AdoptQuickFinds(const std::vector<QuickFind>& finds, const AnonymityUi& ui) {
    if (finds.empty()) return false;
    ProxyLists& lists = TheProxyLists();
    bool box_changed = false;
    for (const QuickFind& find : finds) {
        // The address with its scheme and credentials, as every Tested row keeps it.
        const std::string& text = find.source_text;
        const std::string key = catalogue::ProxyTextOf(
            catalogue::ProxyProtocolOf(text), catalogue::ProxyUser(text), catalogue::ProxyPassword(text),
            catalogue::ProxyHost(text), catalogue::ProxyPort(text), "");
        const catalogue::TestedRow row{key, catalogue::ProxyCountry(find.source_text),
                                       catalogue::FormatResponseTime(find.connect_ms),
                                       catalogue::FormatDownloadSpeed(find.connect_ms),
                                       std::string(catalogue::GradeText(find.judged.grade))};
        if (catalogue::PutTestedRow(lists.tested, row)) {
            lists.tested_box.Add(find.source_text);
            box_changed = true;
            if (catalogue::AppendTestedFile(find.source_text, catalogue::TestedFilePath()) && ui.message)
                ui.message("The proxy could not be added to " + catalogue::TestedFilePath() + ".");
        }
        RecordGrade(key, find.judged);
    }
    if (box_changed && lists.tested_box_changed) lists.tested_box_changed();
    const std::string& best = finds.front().source_text;
    settings::RegStringSetting proxy_name(settings::kProxyName, true);
    if (settings::RegDwordSetting(settings::kUseProxy).get() == 1) {
        if (proxy_name.get() == best) return true;
        proxy_name.set(best);
        if (!Retarget(best) && ui.message) ui.message(std::string(kCannotStartProxy));
        SayAddressInUse(ui, best);
        return true;
    }
    proxy_name.set(best);
    return SwitchOnWithChosenProxy(ui);
}

bool SwitchOnWithChosenProxy(const AnonymityUi& ui) {
    settings::RegDwordSetting(settings::kUseProxy).set(1);
    if (!ApplyAnonymity(ui)) return false;
    SayAddressInUse(ui, settings::RegStringSetting(settings::kProxyName).get());
    return true;
}

}  // namespace vestrel::app
