#include <vireolib/vireo_prtdegreestransferfunc.h>

void VIREO_PRTDegreesTransferFunc::change(const QString& text) {
    const std::vector<double> k = withDefaults(numberFields(text), {0.0, 0.0});
    k1_ = k[0];
    k2_ = k[1];
}
