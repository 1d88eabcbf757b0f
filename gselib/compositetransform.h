#pragma once

#include <gselib/basetransform.h>

#include <QList>
#include <memory>

/**
 * @brief A chain of transforms, applied in order of addition (inverted in reverse order).
 *
 * An item added with useInverse runs its transform's inverse going forward, so a chain such as
 * bin -> DAC value -> mass can reuse one calibration both ways. An empty chain is the identity.
 */
class CompositeTransform : public BaseTransform {
public:
    struct TransformItem {
        std::shared_ptr<BaseTransform> transform;
        bool useInverse = false;
    };

    void addTransform(std::shared_ptr<BaseTransform> transform, bool useInverse);
    double apply(double x) const override;
    double inverse(double y) const override;
    QList<TransformItem> items() const { return items_; }

private:
    QList<TransformItem> items_;
};
