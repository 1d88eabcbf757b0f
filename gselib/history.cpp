#include <gselib/history.h>

#include <QIODevice>
#include <cmath>

namespace ORLA {

namespace {
constexpr quint32 kMagic = 0xDEADBEEF;
constexpr quint32 kVersion = 1;
}  // namespace

History::History(int id, uint64_t maxCount, double maxAge)
    : id_(id), maxCount_(maxCount), maxAge_(maxAge) {}

void History::addValue(double time, double value) {
    if (maxCount_ == 0 && !(maxAge_ > 0)) {
        return;
    }
    stats_.push_back(time, value);
    while (maxCount_ != 0 && stats_.count() > maxCount_) {
        stats_.pop_front();
    }
    while (maxAge_ > 0 && stats_.count() > 0 &&
           std::fabs(time - stats_.x().samples().front()) > maxAge_) {
        stats_.pop_front();
    }
}

bool History::operator==(const History& o) const {
    return id_ == o.id_ && maxCount_ == o.maxCount_ && maxAge_ == o.maxAge_ && stats_ == o.stats_;
}

QDataStream& operator<<(QDataStream& out, const History& h) {
    out << kMagic << kVersion << qint32(h.id_) << quint64(h.maxCount_) << h.maxAge_
        << quint64(h.stats_.count());
    const auto& xs = h.stats_.x().samples();
    const auto& ys = h.stats_.y().samples();
    for (size_t i = 0; i < xs.size(); ++i) {
        out << xs[i] << ys[i];
    }
    return out;
}

QDataStream& operator>>(QDataStream& in, History& h) {
    quint32 magic = 0;
    quint32 version = 0;
    in >> magic >> version;
    if (magic != kMagic || version != kVersion) {
        in.setStatus(QDataStream::ReadCorruptData);
        return in;
    }
    qint32 id = 0;
    quint64 maxCount = 0;
    double maxAge = 0;
    quint64 n = 0;
    in >> id >> maxCount >> maxAge >> n;
    History restored(id, maxCount, maxAge);
    for (quint64 i = 0; i < n && in.status() == QDataStream::Ok; ++i) {
        double x = 0;
        double y = 0;
        in >> x >> y;
        restored.stats_.push_back(x, y);
    }
    if (in.status() == QDataStream::Ok) {
        h = restored;
    }
    return in;
}

QByteArray History::saveValues() const {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << *this;
    return bytes;
}

bool History::restoreValues(const QByteArray& bytes) {
    QDataStream in(bytes);
    in >> *this;
    return in.status() == QDataStream::Ok;
}

}  // namespace ORLA
