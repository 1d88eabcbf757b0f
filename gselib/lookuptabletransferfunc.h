#pragma once

#include <gselib/transferfunc.h>

#include <QList>
#include <QPair>
#include <QString>

/**
 * @brief Piecewise-linear interpolation in a table of (x, y) points read from a file.
 *
 * The file is `databaseDir + "/lookupTables/" + name`: one "x,y" pair a line, '#' comments and
 * blank lines skipped. A descending table is reversed on reading. Outside the table the end
 * segments are extended. A table that cannot be read passes values through unchanged.
 */
class LookupTableTransferFunc : public TransferFunc {
public:
    LookupTableTransferFunc(const std::string& databaseDir, const std::string& name);

    double apply(double x) const override;
    QString asString() const override { return QString(); }
    /// Tables are edited as files: reports "Not implemented" on standard error.
    void change(const QString& text) override;
    QString equationAsString() const override;
    QString description() const override;

    bool isValid() const { return valid_; }
    QString name() const { return name_; }
    QString path() const { return path_; }
    const QList<QPair<double, double>>& table() const { return table_; }

private:
    void read();

    QString name_;
    QString path_;
    QList<QPair<double, double>> table_;
    bool valid_ = false;
};
