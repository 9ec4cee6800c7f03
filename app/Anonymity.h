// Online anonymity on and off, and the proxy in use: the operations that bring the local relay, the
// browsers and the settings UseProxy and ProxyName into one state, and the program's proxy lists that
// they keep. They run on the user-interface thread; what may wait on the network (the test, the list
// transfer) is done by the caller between their halves.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/ListSources.h"
#include "catalogue/ProxyJudge.h"
#include "catalogue/ProxyListDownload.h"
#include "catalogue/ProxyTest.h"
#include "catalogue/TestedList.h"

namespace vestrel::app {

inline constexpr std::string_view kSelectProxyFirst =
    "Please select a proxy from the list before enabling online anonymity.";
inline constexpr std::string_view kCannotStartProxy = "Cannot Start Proxy!";
inline constexpr std::string_view kErrorCaption = "ERROR";
inline constexpr std::string_view kAddressInUsePrefix = "Current IP Address in use:";
inline constexpr std::string_view kListNotDownloaded =
    "The proxy list could not be downloaded. The previous list is kept.";

// How the operations speak to the user; the window supplies each, and any may be left empty.
struct AnonymityUi {
    // The program's message dialog.
    std::function<void(const std::string& text)> message;
    // A standard message box with the caption "ERROR".
    std::function<void(const std::string& text)> error_box;
    // The main window's line for the address in use, then a repaint.
    std::function<void(const std::string& text)> address_in_use;
    // The program's question dialog: true when the user answered yes. Left empty, the answer is no.
    std::function<bool(const std::string& question)> confirm;
};

// The program's proxy lists, shared by the status page and the anonymity section's pages.
struct ProxyLists {
    catalogue::TestedList tested;
    catalogue::TestedBox tested_box;
    catalogue::NewList new_list;
    // The judge's grades of the tested proxies, by address; the tested list's Anonymity column shows them.
    catalogue::GradeBook grades;
    // Told after an operation changed the "Tested" box, so that the status page can follow it.
    std::function<void()> tested_box_changed;
    // Told after the New list was rebuilt, so that the New list page and the status page's "New" box
    // can follow it.
    std::function<void()> new_list_changed;
    std::function<void()> new_box_changed;
    // The list service's own lines as last downloaded, and the list sources as the last refresh found
    // them: the New list is the two merged.
    std::vector<std::string> service_lines;
    std::vector<catalogue::SourceOutcome> sources;
    // Told after a refresh read the list sources, so that the List update page can show their counts.
    std::function<void()> sources_changed;
};
ProxyLists& TheProxyLists();

// Loads the grade file and fills the tested list's Anonymity column from it; run after the list is
// loaded from MyProxies.txt.
void LoadGrades();
// Records the judge's result for `address` (the tested list's address column): in the grade file and in
// the Anonymity column of its row, when the list has one. False when the file could not be written.
bool RecordGrade(const std::string& address, const catalogue::JudgeResult& result);
// Writes the grade file from ProxyLists::grades. False when it could not be written.
bool SaveGrades();
// Forgets the grade of a proxy that left the tested list. False when the file could not be written.
bool ForgetGrade(const std::string& address);
// Whether the proxy of `address` may become the one in use: yes unless its recorded grade reveals the
// user's address or spoils pages and the user, asked its catalogue::AdoptionQuestion, does not say yes.
bool ConfirmAdoption(const std::string& address, const AnonymityUi& ui);

// Whether `proxy_name` names a proxy the relay can be sent to: a host and a port in 1..65535. Anything
// else (empty, a stale "->" text without an address) counts as no proxy chosen.
bool ProxyChosen(const std::string& proxy_name);

// "127.0.0.1:<LocalPort>": where the browsers are pointed while anonymity is on.
std::string RelayServer();

// Makes the relay and the browsers follow UseProxy. With anonymity asked for and a proxy chosen: the
// browsers pointed at the relay and the relay (re)started towards the proxy. Without a proxy, or when
// the relay cannot start (said with the port), the state goes back to off before the user is told. False when
// anonymity was asked for and is not on.
bool ApplyAnonymity(const AnonymityUi& ui);

// Moves the running relay to the proxy of `proxy_text` (any of a proxy's text forms: its protocol, the
// credentials it wants and its address), the watch over it starting afresh; false when it could not.
bool Retarget(const std::string& proxy_text);
// The same for the HTTP proxy at `host`:`port`; `user` and `password`: the credentials it wants, for the
// relay's proxy authentication.
bool Retarget(const std::string& host, std::int32_t port, const std::string& user = {},
              const std::string& password = {});
// The main window's line for the address in use: the prefix, then `text`.
void SayAddressInUse(const AnonymityUi& ui, const std::string& text);

// Switching off: browsers direct, UseProxy 0, relay stopped. Never throws.
void SwitchAnonymityOff();

// What a test of a proxy found, when the test passed: the texts of its response time and speed.
using TestRunner = std::function<std::optional<catalogue::RecordedResult>(
    const std::string& host, const std::string& source_text, std::int32_t port)>;

// Tests the proxy of `source_text` with `run_test` and, when it passed and ConfirmAdoption allows it,
// records it in the tested list, the "Tested" box and MyProxies.txt, makes it the proxy in use and,
// with anonymity on, moves the relay to it, all in the protocol the test found it answering in
// (RecordedResult::proxy_text). The row's country is the text after "->" when
// `with_country`. True when adopted.
bool TestAndAdopt(const std::string& source_text, bool with_country, const TestRunner& run_test,
                  const AnonymityUi& ui);

// The status page's "Tested" box: makes `text` (address "->" country) the proxy in use without a test,
// when ConfirmAdoption allows it; else the box is told to show the proxies afresh, nothing chosen.
void UseTestedProxy(const std::string& text, const AnonymityUi& ui);
// A double-click in the Tested list: with anonymity on and ConfirmAdoption allowing it, moves the relay
// to `address`.
void UseTestedProxy(const std::string& address, const std::string& country, const AnonymityUi& ui);

// "Test Proxy" after its test passed: the row of `address` recorded with the new figures and grade (in
// place when the address is still in the list, else at its end) and the list saved; then, when
// ConfirmAdoption allows it, the relay moved to it while anonymity is on (told in the "ERROR" box when
// it cannot be) and ProxyName set to it. False when the file could not be written.
bool AdoptRetestedProxy(const std::string& address, const std::string& country,
                        const catalogue::RecordedResult& result, const AnonymityUi& ui);

// Empties the tested list, the "Tested" box, MyProxies.txt and the grades. False when a file could not be
// written.
bool EmptyTestedList();

// The list refresh in its two halves around the transfer (catalogue::TransferProxyList of
// catalogue::ProxyListUrl() and catalogue::FetchListSources of the list sources, on a worker): first
// the browsers set direct, so that the transfer does not pass through the relay; then the New list
// rebuilt from what arrived (the service's list, the sources that answered), the generator ping
// started, and the anonymity state applied again. The second half returns whether any list arrived
// (the service's or a source's), so that a service that is down is not taken for no list at all.
void BeginListRefresh();
// After a download of the list that is not a refresh: the browsers pointed back at the relay when
// anonymity is on.
void EndListDownload();
// Replaces the New list with the kept lines of `body`, then the last refresh's source lines not in it
// yet, and tells the New list page.
void RebuildNewList(const std::string& body);
bool FinishListRefresh(const std::optional<std::string>& body, std::vector<catalogue::SourceOutcome> sources,
                       const AnonymityUi& ui);

}  // namespace vestrel::app
