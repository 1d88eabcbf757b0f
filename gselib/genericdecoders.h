#pragma once

// The general-purpose decoders served by the built-in generic decoder maker, one class per
// DECODE_TYPE. They share the packet-reading helpers of genericdecoders.cpp, so they live
// together.

#include <gselib/decoder.h>

namespace GseLib {

/// Types 1, 3, 4, 5, 6: one value per element of pkt_offsets, bytes assembled by the row's order.
class ArrayDecoder : public Decoder {
public:
    bool decode(const TmDatabaseRow& row, const TMPacket* packet, DataItems& items,
                const CurrentValueTable* cvt) const override;
};

/// @brief Type 1: unsigned integers (the classic name of type 3).
class SimpleDecoder : public ArrayDecoder {
public:
    int type() const override { return 1; }
    QString name() const override { return QStringLiteral("simple"); }
};

/// @brief Type 3: unsigned integers, masked and shifted.
class UnsignedDecoder : public ArrayDecoder {
public:
    int type() const override { return 3; }
    QString name() const override { return QStringLiteral("unsigned_int"); }
};

/// @brief Type 4: two's complement integers, sign-extended from the mask's width.
class TwosCompDecoder : public ArrayDecoder {
public:
    int type() const override { return 4; }
    QString name() const override { return QStringLiteral("twos_comp"); }
};

/// @brief Type 5: 32-bit IEEE floats.
class FloatDecoder : public ArrayDecoder {
public:
    int type() const override { return 5; }
    QString name() const override { return QStringLiteral("ieee754_float"); }
};

/// @brief Type 6: 64-bit IEEE doubles.
class DoubleDecoder : public ArrayDecoder {
public:
    int type() const override { return 6; }
    QString name() const override { return QStringLiteral("ieee754_double"); }
};

/// @brief Type 2: one little-endian integer at decode_id[0] of decode_id[1] bytes.
class SimpleDecoderLE : public Decoder {
public:
    int type() const override { return 2; }
    QString name() const override { return QStringLiteral("simple_le"); }
    bool decode(const TmDatabaseRow& row, const TMPacket* packet, DataItems& items,
                const CurrentValueTable* cvt) const override;
};

/// @brief Type 7: NUL-terminated text.
class StringDecoder : public Decoder {
public:
    int type() const override { return 7; }
    QString name() const override { return QStringLiteral("string"); }
    bool decode(const TmDatabaseRow& row, const TMPacket* packet, DataItems& items,
                const CurrentValueTable* cvt) const override;
};

/// @brief Type 61: raw bytes, zero bytes included.
class BytesDecoder : public Decoder {
public:
    int type() const override { return 61; }
    QString name() const override { return QStringLiteral("bytes"); }
    bool decode(const TmDatabaseRow& row, const TMPacket* packet, DataItems& items,
                const CurrentValueTable* cvt) const override;
};

/// Time fields: whole seconds plus a fraction, through the row's clock when it has one.
class TimeDecoder : public Decoder {
public:
    TimeDecoder(int type, const char* name, int width) : type_(type), name_(name), width_(width) {}
    int type() const override { return type_; }
    QString name() const override { return QString::fromLatin1(name_); }
    bool decode(const TmDatabaseRow& row, const TMPacket* packet, DataItems& items,
                const CurrentValueTable* cvt) const override;

private:
    int type_;
    const char* name_;
    int width_;
};

/// @brief Type 8: 4-byte big-endian seconds.
class Time40Decoder : public TimeDecoder {
public:
    Time40Decoder() : TimeDecoder(8, "TIME40", 4) {}
};
/// @brief Type 9: 4-byte seconds and 2-byte fraction of 1/65536 s.
class Time42Decoder : public TimeDecoder {
public:
    Time42Decoder() : TimeDecoder(9, "TIME42", 6) {}
};
/// @brief Type 10: 4-byte seconds and 4-byte microseconds.
class Time44Decoder : public TimeDecoder {
public:
    Time44Decoder() : TimeDecoder(10, "TIME44", 8) {}
};
/// @brief Type 12: 1-byte seconds and 2-byte fraction of 1/65536 s.
class Time12Decoder : public TimeDecoder {
public:
    Time12Decoder() : TimeDecoder(12, "TIME12", 3) {}
};
/// @brief Type 14: 4-byte seconds and 1-byte fraction of 1/256 s.
class Time41Decoder : public TimeDecoder {
public:
    Time41Decoder() : TimeDecoder(14, "TIME41", 5) {}
};
/// @brief Type 21: 8-byte nanoseconds.
class TimeNsDecoder : public TimeDecoder {
public:
    TimeNsDecoder() : TimeDecoder(21, "TIMENS", 8) {}
};
/// @brief Type 28: 4-byte little-endian seconds.
class RTime40Decoder : public TimeDecoder {
public:
    RTime40Decoder() : TimeDecoder(28, "RTIME40", 4) {}
};

/// Statistics of a mnemonic's history in the current value table.
class HistoryDecoder : public Decoder {
public:
    enum Statistic { Max, Avg, Min, Rate, Sum, SumOfSquares };
    HistoryDecoder(int type, const char* name, Statistic statistic)
        : type_(type), name_(name), statistic_(statistic) {}
    int type() const override { return type_; }
    QString name() const override { return QString::fromLatin1(name_); }
    /// False without a current value table: there is no history to read.
    bool decode(const TmDatabaseRow& row, const TMPacket* packet, DataItems& items,
                const CurrentValueTable* cvt) const override;

private:
    int type_;
    const char* name_;
    Statistic statistic_;
};

class HistoryMaxDecoder : public HistoryDecoder {
public:
    HistoryMaxDecoder() : HistoryDecoder(51, "history_max", Max) {}
};
class HistoryAvgDecoder : public HistoryDecoder {
public:
    HistoryAvgDecoder() : HistoryDecoder(52, "history_avg", Avg) {}
};
class HistoryMinDecoder : public HistoryDecoder {
public:
    HistoryMinDecoder() : HistoryDecoder(53, "history_min", Min) {}
};
class HistoryRateDecoder : public HistoryDecoder {
public:
    HistoryRateDecoder() : HistoryDecoder(54, "history_rate", Rate) {}
};
class HistorySumDecoder : public HistoryDecoder {
public:
    HistorySumDecoder() : HistoryDecoder(55, "history_sum", Sum) {}
};
class HistorySumOfSquaresDecoder : public HistoryDecoder {
public:
    HistorySumOfSquaresDecoder() : HistoryDecoder(56, "history_sum_of_squares", SumOfSquares) {}
};

}  // namespace GseLib
