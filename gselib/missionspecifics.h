#pragma once

namespace GseLib {

/**
 * @brief Facts about a mission's packets that generic code needs.
 */
class MissionSpecifics {
public:
    virtual ~MissionSpecifics() = default;
    /// Length in seconds of one unit of a raw packet timestamp.
    virtual double rawTimestampUnit() const = 0;
};

}  // namespace GseLib
