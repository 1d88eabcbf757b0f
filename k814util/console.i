// The console's view of a test, and reading on as the station appends to the bound file. The
// reports are small and nested; they cross as JSON text, which the package parses.
%{
#include <k814util/k814util.h>
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
}

%inline %{
namespace k814util {
// (absolute path, mission, configuration group) of the test the process is bound to; None
// while it is unbound.
PyObject* _console_binding() {
    const BindingCheck& b = currentBinding();
    if (!b.ok()) {
        Py_RETURN_NONE;
    }
    return Py_BuildValue("(sss)", b.absolutePath.toUtf8().constData(),
                         b.mission.toUtf8().constData(), b.group.toUtf8().constData());
}

// Reads what was appended to path since the last read (binding to it first when the process
// is bound to another file); the number of packets added.
long long _console_refresh(const std::string& path, double staleAfter) {
    return refreshTelemetryFile(path, staleAfter);
}

}  // namespace k814util
%}
