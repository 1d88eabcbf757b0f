#include <gselib/coefficienttransferfunc.h>

void CoefficientTransferFunc::change(const QString& text) {
    k_ = withDefaults(numberFields(text), std::vector<double>(k_.size(), 0.0));
}
