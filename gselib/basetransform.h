#pragma once

/**
 * @brief An invertible one-dimensional mapping.
 */
class BaseTransform {
public:
    virtual ~BaseTransform() = default;
    virtual double apply(double x) const = 0;
    virtual double inverse(double y) const = 0;
};
