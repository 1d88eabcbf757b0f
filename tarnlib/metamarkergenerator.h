#pragma once

#include <tarnlib/metamarker.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QRegularExpression>
#include <memory>
#include <vector>

namespace GseLib {
class TMPacket;
}

namespace TarGse {

/**
 * @brief Something that turns a stream of packets into meta-marker intervals.
 */
class MetaMarkerGenerator {
public:
    virtual ~MetaMarkerGenerator() = default;
    /// Takes the next packet; endOfDataTime is the relative time of the last packet read so far.
    virtual void ingestPkt(const std::shared_ptr<GseLib::TMPacket>& packet,
                           double endOfDataTime) = 0;
    virtual QList<MetaMarker> metaMarkers() const = 0;
    virtual int metaMarkerId() const = 0;
};

/**
 * @brief One rule of a meta-marker rule file: its start and end conditions evaluated packet by
 * packet, with the test states the message log announces.
 */
class JsonBasedMetaMarkerGenerator : public MetaMarkerGenerator {
public:
    /// rule must have passed validation.
    explicit JsonBasedMetaMarkerGenerator(const QJsonObject& rule);

    void ingestPkt(const std::shared_ptr<GseLib::TMPacket>& packet, double endOfDataTime) override;
    QList<MetaMarker> metaMarkers() const override { return metaMarkers_; }
    int metaMarkerId() const override { return id_; }

    enum TestState { SebTest, HighVoltageTest, LaserEbt, GcEbt, HeaterTest, TestStateCount };
    bool testState(TestState s) const { return states_[s]; }

    /// The first line of a message packet's text that matches expression; empty when none.
    static QString extractMatchedMessage(const GseLib::TMPacket& packet, const QString& expression,
                                         bool caseSensitive);
    static QString extractMatchedMessage(const GseLib::TMPacket& packet,
                                         const QRegularExpression& expression);

private:
    /// One trigger of the rule, read from its JSON once (with its expression compiled once)
    /// rather than for every packet.
    struct Trigger {
        enum Kind { Marker, Message, Duration, NextMarker, Other };
        explicit Trigger(const QJsonObject& condition);

        Kind kind = Other;
        uint32_t marker = 0;   // "marker"
        double offset = 0.0;   // "offset_in_seconds"
        double seconds = 0.0;  // "number_of_seconds"
        QRegularExpression regex;
        int states[TestStateCount];  // the test keys: -1 when absent, else 0 or 1
    };

    void updateTestStates(const GseLib::TMPacket& packet);
    bool startFires(const Trigger& condition, const GseLib::TMPacket& packet, double* start);
    bool endFires(const Trigger& condition, const GseLib::TMPacket& packet, bool opening);

    std::vector<Trigger> starts_;
    std::vector<Trigger> ends_;
    int id_ = 0;
    std::string text_;
    bool open_ = false;
    bool states_[TestStateCount] = {};
    int searchedUpTo_ = -1;
    QList<MetaMarker> metaMarkers_;
};

}  // namespace TarGse
