// The console's view of a test, and reading on as the station appends to the bound file. The
// reports are small and nested; they cross as JSON text, which the package parses.
%{
#include <k814util/consolequeries.h>
#include <k814util/k814util.h>
#include <k814util/pybinding.h>
%}

namespace k814util {
%rename(_console_test_info) testInfoJson;
%rename(_console_packet_summary) packetSummaryJson;
%rename(_console_seb_sequences) sebSequencesJson;
%rename(_frames_item_id) itemIdOf;
%rename(_console_log_pending) messageLogPending;
std::string testInfoJson(const std::string& path);
std::string packetSummaryJson();
std::string sebSequencesJson();
int itemIdOf(const std::string& key);
bool messageLogPending();

// What is bound, and reading on (binding to path first when the process is bound to another
// file); the number of packets added.
%rename(_console_binding) boundTest;
%rename(_console_refresh) refreshTelemetryFile;
PyObject* boundTest();
long long refreshTelemetryFile(const std::string& path, double staleAfter);
}

