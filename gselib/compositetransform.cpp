#include <gselib/compositetransform.h>

void CompositeTransform::addTransform(std::shared_ptr<BaseTransform> transform, bool useInverse) {
    items_.append({std::move(transform), useInverse});
}

double CompositeTransform::apply(double x) const {
    for (const TransformItem& item : items_) {
        x = item.useInverse ? item.transform->inverse(x) : item.transform->apply(x);
    }
    return x;
}

double CompositeTransform::inverse(double y) const {
    for (auto it = items_.crbegin(); it != items_.crend(); ++it) {
        y = it->useInverse ? it->transform->apply(y) : it->transform->inverse(y);
    }
    return y;
}
