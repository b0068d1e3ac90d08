#pragma once

#include "core/ConversionResult.h"

#include <QAbstractListModel>
#include <QList>
#include <QStringList>

namespace pictavo {

// The results of the last run as the list the window shows: one row per
// result, in order, made when the results are set. A row's roles: fileName
// (the source's last path component), reason (why it failed, in the user's
// language; "" when it did not), ok.
class ResultList : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ rowCount NOTIFY countsChanged)
    Q_PROPERTY(int convertedCount READ convertedCount NOTIFY countsChanged)
    Q_PROPERTY(int failedCount READ failedCount NOTIFY countsChanged)
    // True when the first converted file has an output, to show in the file manager.
    Q_PROPERTY(bool canReveal READ canReveal NOTIFY countsChanged)

public:
    enum Role { fileNameRole = Qt::UserRole + 1, reasonRole, okRole };

    explicit ResultList(QObject* parent = nullptr);

    const QList<ConversionResult>& results() const;
    // Replaces every row.
    void set(QList<ConversionResult> results);

    int convertedCount() const;
    int failedCount() const;
    bool canReveal() const;
    // The output of every result that has one, in list order.
    Q_INVOKABLE QStringList writtenFiles() const;

    // Why the result failed, in the user's language: by its kind, or an error
    // of no known kind as it is; "" when it did not fail.
    static QString reasonOf(const ConversionResult& result);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void countsChanged();

private:
    struct Row {
        QString fileName;
        QString output;  // "" when none
        bool ok = false;
    };

    QList<ConversionResult> results_;
    QList<Row> rows_;
    int convertedCount_ = 0;
};

}  // namespace pictavo
