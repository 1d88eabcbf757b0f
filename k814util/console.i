// The console's view of a test, and reading on as the station appends to the bound file. The
// reports are small and nested; they cross as JSON text, which the package parses.
%{
#include <gselib/datainterpretation.h>
#include <gselib/tmdatabase.h>
#include <k814util/k814util.h>
#include <k814util/testreport.h>
#include <gselib/msglogcache.h>

#include <QJsonDocument>
%}

%inline %{
namespace k814util {

// JSON of the test metadata and configuration of the file at path (its packets are not read).
std::string _console_test_info(const std::string& path) {
    return QJsonDocument(TestReport::testInfo(QString::fromStdString(path)))
        .toJson(QJsonDocument::Compact)
        .toStdString();
}

// JSON of the bound file's packets by type, time span and clock state.
std::string _console_packet_summary() {
    return QJsonDocument(TestReport::packetSummary()).toJson(QJsonDocument::Compact).toStdString();
}

// JSON of the bound file's SEB command sequences with their decoded fields.
std::string _console_seb_sequences() {
    return QJsonDocument(TestReport::sebSequences()).toJson(QJsonDocument::Compact).toStdString();
}

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

// The data id the database gives a mnemonic (a key a patch renamed still finds its row); 0 when
// it has none or nothing is bound.
int _frames_item_id(const std::string& key) {
    const GseLib::DataInterpretation* di = GseLib::DataInterpretation::current();
    return di && di->db() ? di->db()->getId(key.c_str()) : 0;
}

// Whether the message log's last line waits for its continuation in a later packet.
bool _console_log_pending() {
    return GseLib::MsgLogCache::getInstance().pending();
}

}  // namespace k814util
%}
