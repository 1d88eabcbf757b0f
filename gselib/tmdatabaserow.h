#pragma once

#include <gselib/applywhen.h>
#include <gselib/discretelabels.h>
#include <gselib/gse.h>
#include <gselib/limitchecker.h>
#include <gselib/tmclock.h>
#include <gselib/transferfunc.h>

#include <QByteArray>
#include <QJsonObject>
#include <QStringList>
#include <QStringView>
#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace GseLib {

/**
 * @brief One telemetry database definition (a mnemonic): where its bits lie in which packet, how
 * to decode them, and how to convert the raw number.
 *
 * `update` parses one split database line into the row. Only cells that are present and not
 * empty change a field, so a patch line changes just the fields it fills; the key, the transfer
 * functions and the limit checkers' conversions are re-derived on every update.
 */
class TmDatabaseRow {
public:
    /// The columns the reader knows, in their numbering.
    enum Field {
        SUB_SYSTEM,
        NAME,
        DESCRIPTION,
        ADC,
        DATA_ID,
        PACKET_TYPE,
        PACKET_SUBTYPE,
        PACKET_NAME,
        APPLY_WHEN,
        DECODE_TYPE,
        DECODE_ID1,
        DECODE_ID2,
        DECODE_ID3,
        DECODE_ID4,
        CLOCK,
        RAW_FMT,
        ENG_FMT,
        ENG_EQ_TYPE,
        ENG_K1,
        ENG_K2,
        SCI_UNITS,
        SCI_FMT,
        SCI_EQ_TYPE,
        SCI_FROM_ENG,
        SCI_K1,
        SCI_K2,
        SCI_K3,
        SCI_K4,
        SCI_K5,
        SCI_K6,
        SCI_K7,
        SCI_K8,
        MUX_CH,
        LIMIT_TYPE_1,
        YELLOW_LIMIT_1,
        RED_LIMIT_1,
        LIMIT_TYPE_2,
        YELLOW_LIMIT_2,
        RED_LIMIT_2,
        LIMITS,
        HISTORY,
        EXTRA_1,
        QUIP_MINE_TYPE,
        QUIP_MINE_RAW,
        QUIP_MINE_ENG,
        DISCRETE_LABELS,
        BUNDLE_ID,
        ARRAY_LENGTH,
        SAMPLE_PERIOD,
        FIELD_COUNT
    };
    enum FieldRequired { NotRequired = 0, Required = 1 };

    /// Column names by Field.
    static const std::array<const char*, FIELD_COUNT> FIELD_NAMES;
    static const std::array<bool, FIELD_COUNT> FIELD_REQUIRED;
    /// Column position of every Field in the header read last; -1 when absent. Process-wide.
    static std::array<int, FIELD_COUNT> FIELD_INDEX;

    using Cells = std::vector<QStringView>;
    using ClockMap = std::map<QByteArray, std::shared_ptr<TMClock>>;

    /**
     * Sets FIELD_INDEX from a header (names matched whole and ignoring case).
     * @throw std::runtime_error "Could not find required database field <name>"
     */
    static void findHeaderFieldPositions(const QStringList& header);
    static int dataIdPosition();
    /// Position of name in header, or -1.
    /// @throw std::runtime_error for a required column that is absent
    static int findIndex(const QString& name, const QStringList& header, FieldRequired required);

    /**
     * Parses one line's cells into the row.
     * @throw std::runtime_error for impossible decode descriptions (double/float byte orders,
     *        offset and time lists of different lengths) and invalid mine types
     */
    void update(const Cells& cells, const QByteArray& definitionsDir, const ClockMap& clocks);

    /// Raw value converted to the mode: Raw as is, Eng through the engineering function, Sci
    /// through the science function (from the engineering value when sci_from_eng).
    double convertValue(double raw, Gse::ValueMode mode) const;
    /// "Raw", "Value" or the science units.
    QString units(Gse::ValueMode mode) const;
    /// Prints one line per differing field to standard output.
    void diff(const TmDatabaseRow& other) const;
    /// The row as one TAB-separated line of the database's output header.
    std::string toLine() const;

    /// Equal when `diff` would print nothing.
    bool operator==(const TmDatabaseRow& other) const;
    bool operator!=(const TmDatabaseRow& other) const { return !(*this == other); }

    QByteArray sub_system;
    QByteArray signal_name;
    QByteArray key;
    QByteArray description;
    uint32_t adc = 0;
    uint32_t data_id = 0;
    uint32_t packet_type = 0;
    uint32_t packet_subtype = 0;
    QByteArray packet_name;
    ApplyWhen apply_when;
    uint32_t decode_type = 0;
    std::vector<unsigned long long> decode_id = std::vector<unsigned long long>(4, 0);
    std::vector<uint32_t> pkt_offsets;
    std::vector<double> time_offsets;
    std::vector<uint32_t> byte_order;
    std::vector<uint32_t> bit_shifts;
    uint32_t mask_bits = 0;
    QByteArray raw_format;
    QByteArray eng_format;
    uint32_t eng_eq_type = 0;
    std::vector<double> eng_k = std::vector<double>(2, 0.0);
    QByteArray sci_units;
    QByteArray sci_format;
    uint32_t sci_eq_type = 0;
    bool sci_from_eng = false;
    std::vector<double> sci_k = std::vector<double>(8, 0.0);
    uint32_t mux_ch = 0;
    QByteArray extra;
    DiscreteLabels discrete_labels;
    std::shared_ptr<TMClock> clock;
    std::shared_ptr<TransferFunc> eng_transfer_func;
    std::shared_ptr<TransferFunc> sci_transfer_func;
    LimitChecker limitChecker1;
    LimitChecker limitChecker2;
    QJsonObject limits;
    QJsonObject history;
    Gse::QuipMineType quip_mine_type = Gse::QuipNone;
    bool quip_mine_raw = false;
    bool quip_mine_eng = false;
    long long bundle_id = 0;
    uint32_t array_length = 1;
    double sample_period = 0.0;

private:
    void updateByteOrder(QStringView cell);
    void updateOffsets(QStringView cell);
};

}  // namespace GseLib
