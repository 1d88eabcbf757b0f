#include <k814util/consolequeries.h>

#include <gselib/datainterpretation.h>
#include <gselib/msglogcache.h>
#include <gselib/tmdatabase.h>
#include <k814util/testreport.h>

#include <QJsonDocument>

namespace k814util {

namespace {

std::string compact(const QJsonDocument& document) {
    return document.toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace

std::string testInfoJson(const std::string& path) {
    return compact(QJsonDocument(TestReport::testInfo(QString::fromStdString(path))));
}

std::string packetSummaryJson() {
    return compact(QJsonDocument(TestReport::packetSummary()));
}

std::string sebSequencesJson() {
    return compact(QJsonDocument(TestReport::sebSequences()));
}

int itemIdOf(const std::string& key) {
    const GseLib::DataInterpretation* di = GseLib::DataInterpretation::current();
    return di && di->db() ? di->db()->getId(key.c_str()) : 0;
}

bool messageLogPending() {
    return GseLib::MsgLogCache::getInstance().pending();
}

}  // namespace k814util
