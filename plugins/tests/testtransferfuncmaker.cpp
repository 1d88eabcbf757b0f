#include <gselib/polytransferfunc.h>
#include <gselib/transferfuncmakerinterface.h>

#include <QObject>

namespace {

class Tripler : public PolyTransferFunc {
public:
    Tripler() : PolyTransferFunc(0.0, 3.0, 0.0) {}
    QString description() const override { return QStringLiteral("Test tripler"); }
};

}  // namespace

class TestTransferFuncMaker : public QObject, public TransferFuncMakerInterface {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TransferFuncMakerInterface_iid FILE "testtransferfuncmaker.json")
    Q_INTERFACES(TransferFuncMakerInterface)
public:
    std::unordered_set<int> ids() override { return {13, 200}; }
    std::shared_ptr<TransferFunc> makeTransferFunc(int type, const std::vector<double>&,
                                                   const std::string&,
                                                   const std::string&) override {
        return type == 200 || type == 13 ? std::make_shared<Tripler>() : nullptr;
    }
};

#include "testtransferfuncmaker.moc"
