// Quick anonymity's search for a proxy: the New list's proxies connected to a thousand at once,
// fastest first, each that connects judged in every protocol it may speak, until five that grade Elite and
// tunnel HTTPS are found; then the one to adopt. The search blocks: it runs on a worker, while the window
// reads its progress.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/Anonymity.h"
#include "catalogue/ConnectSweep.h"
#include "catalogue/ProxyJudge.h"
#include "catalogue/ProxyTest.h"

namespace vestrel::app {

// The search ends once this many Elite proxies that tunnel HTTPS are found.
inline constexpr std::size_t kQuickWanted = 5;
// Judge checks under way at once; each holds two connections for a few round trips.
inline constexpr std::size_t kQuickJudgesAtOnce = 24;

// A proxy that quick anonymity may adopt without asking: Elite or Anonymous, and it tunnels HTTPS.
bool QuickUsable(const catalogue::JudgeResult& judged);

// "Tested N of M — K working": the dialog's line while the search runs.
std::string QuickProgressText(std::size_t tested, std::size_t total, std::size_t working);

struct QuickFind {
    // The New list's line with the scheme of the protocol it answered in, as ProxyName and
    // MyProxies.txt keep it.
    std::string source_text;
    std::uint32_t connect_ms = 0;
    catalogue::JudgeResult judged;
};

struct QuickSearchOptions {
    std::size_t connects_at_once = catalogue::kMaxConnectsAtOnce;
    std::chrono::milliseconds first_limit = catalogue::kFirstPassLimit;
    // The second pass, over the proxies that stayed silent, only when the first found none to use.
    std::chrono::milliseconds second_limit = catalogue::kConnectTimeLimit;
    std::size_t judges_at_once = kQuickJudgesAtOnce;
    std::size_t wanted = kQuickWanted;
};

class QuickSearch {
  public:
    // `lines`: the New list; `known_ms`: for each line, its connect time from an earlier test (0 when
    // none): those are tried first, fastest first, then the others in the list's order.
    QuickSearch(std::vector<std::string> lines, const std::vector<std::uint32_t>& known_ms,
                QuickSearchOptions options = {});

    // Both passes; blocks until the search ends or is cancelled. `judge` checks a proxy that connected.
    void Run(const catalogue::JudgeFunction& judge);
    void Cancel() {
        cancelled_ = true;
        stop_ = true;
    }
    bool Cancelled() const { return cancelled_; }

    std::size_t Total() const { return lines_.size(); }
    // Proxies whose test has ended (connect, then the judge for one that connected).
    std::size_t Tested() const { return tested_; }
    // Proxies found usable so far.
    std::size_t Working() const { return working_; }

    // After Run: every usable proxy found, Elite before Anonymous, each group fastest first. The first
    // is the one to adopt: an Anonymous one only when no Elite was found.
    std::vector<QuickFind> Usable() const;
    // The first Elite proxy found so far, while the search goes on: quick anonymity uses it at once
    // and moves to a faster one at the end.
    std::optional<QuickFind> FirstElite() const;

  private:
    void Pass(const std::vector<std::size_t>& order, std::chrono::milliseconds limit,
              const catalogue::JudgeFunction& judge, std::vector<std::size_t>* silent);
    bool Enough() const;

    std::vector<std::string> lines_;
    std::vector<catalogue::SweepTarget> targets_;
    std::vector<std::size_t> order_;
    QuickSearchOptions options_;
    std::atomic<bool> cancelled_{false};
    // Set once enough were found or the run was cancelled: the sweep and the judges end.
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> tested_{0};
    std::atomic<std::size_t> working_{0};
    std::atomic<std::size_t> elite_{0};
    mutable std::mutex mutex_;
    std::vector<QuickFind> found_;
};

// The connect times the Tested list holds for the New list's `lines` (0 where it has none), for
// QuickSearch to try those first.
std::vector<std::uint32_t> KnownConnectTimes(const std::vector<std::string>& lines);

// On the user-interface thread, during a search and after it: every find recorded in the Tested list,
// the "Tested" box, MyProxies.txt and the grades; then the first made the proxy in use: anonymity
// switched on, or the relay moved to it when anonymity is on already. False when anonymity could not
// be switched on (the user was told why through `ui`).
bool AdoptQuickFinds(const std::vector<QuickFind>& finds, const AnonymityUi& ui);

// Anonymity switched on towards the proxy ProxyName holds (kept because it still passed its check).
bool SwitchOnWithChosenProxy(const AnonymityUi& ui);

}  // namespace vestrel::app
