// Drives quick anonymity for script/bench-quick (not a test) under Wine, and measures it.
//   quick-bench.exe <elite address>...   starts Vestrel.exe beside it, presses the quick anonymity
//       button and Start, and prints the seconds until one of the elite proxies was in use, until every
//       row of the New list was tried ("Tested M of M") and until the dialog ended, the longest the
//       main window took to answer a message meanwhile, and the dialog's last line.
//   quick-bench.exe --today <list file>  the same rows tested the way "Test All Proxies" does today
//       (128 connects at once, 5 s each): the seconds until the first proxy answered and until every
//       row was tried.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/ProxyTest.h"
#include "catalogue/TestedList.h"
#include "resources/ids/DialogIds.h"
#include "resources/ids/MainWindowIds.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"
#include "tests/app/ProgramDriver.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace testing = vestrel::app::testing;
namespace settings = vestrel::settings;

double Since(Clock::time_point began) { return std::chrono::duration<double>(Clock::now() - began).count(); }

int Today(const char* list_path) {
    std::ifstream in(list_path, std::ios::binary);
    vestrel::catalogue::TestedList list;
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) list.AppendRow({line, "", "", "", ""});
    }
    vestrel::catalogue::TestAllRun run(list);
    std::atomic<double> first{-1};
    const Clock::time_point began = Clock::now();
    run.Test([&](const std::string& host, std::int32_t port) {
        const std::uint32_t ms = vestrel::catalogue::ConnectTime(host, port);
        double none = -1;
        if (ms != 0) first.compare_exchange_strong(none, Since(began));
        return ms;
    });
    std::printf("today (128 x 5 s): %zu rows, first proxy answered %.1f s, every row tried %.1f s\n",
                run.Total(), first.load(), Since(began));
    return 0;
}

int Quick(const std::set<std::string>& elite) {
    testing::Program program;
    HWND main = program.Launch();
    if (main == nullptr) {
        std::printf("Vestrel did not start\n");
        return 1;
    }
    // Let the start-up's own downloads settle, as a person would before pressing anything.
    ::Sleep(3000);
    testing::Click(::GetDlgItem(main, IDC_MAIN_QUICK_ANONYMITY));
    HWND dialog = program.WaitForDialogWith(IDC_ANONYMITY_PROGRESS_STATUS);
    if (dialog == nullptr) {
        std::printf("no quick anonymity dialog\n");
        return 1;
    }
    std::atomic<bool> over{false};
    std::atomic<double> longest_answer{0};
    std::thread prober([&] {
        while (!over) {
            const Clock::time_point sent = Clock::now();
            DWORD_PTR result = 0;
            ::SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
            const double took = Since(sent);
            if (took > longest_answer) longest_answer = took;
            ::Sleep(20);
        }
    });
    HWND status = ::GetDlgItem(dialog, IDC_ANONYMITY_PROGRESS_STATUS);
    HWND ok = ::GetDlgItem(dialog, IDOK);
    const Clock::time_point began = Clock::now();
    testing::Click(ok);
    double elite_in_use = -1;
    double all_tried = -1;
    std::string last;
    while (Since(began) < 600) {
        if (elite_in_use < 0 && settings::RegDwordSetting(settings::kUseProxy, true).get() == 1 &&
            elite.count(settings::RegStringSetting(settings::kProxyName, true).get()) != 0) {
            elite_in_use = Since(began);
        }
        const std::string text = testing::Text(status);
        if (all_tried < 0 && text.rfind("Tested ", 0) == 0) {
            unsigned tested = 0;
            unsigned total = 0;
            if (std::sscanf(text.c_str(), "Tested %u of %u", &tested, &total) == 2 && total > 0 &&
                tested == total)
                all_tried = Since(began);
        }
        if (::IsWindowEnabled(ok) && Since(began) > 1) {
            last = text;
            break;
        }
        ::Sleep(50);
    }
    const double ended = Since(began);
    over = true;
    prober.join();
    std::printf(
        "quick anonymity: first elite proxy in use %.1f s, every row tried %.1f s, dialog done %.1f s\n",
        elite_in_use, all_tried, ended);
    std::printf("longest time the window took to answer a message: %.3f s\n", longest_answer.load());
    std::printf("last line: %s\n", last.c_str());
    testing::Click(ok);
    ::Sleep(500);
    program.End();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--today") return Today(argv[2]);
    std::set<std::string> elite;
    for (int i = 1; i < argc; ++i) elite.insert(argv[i]);
    return Quick(elite);
}
