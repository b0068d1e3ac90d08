#include "model/ResultList.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>

namespace pictavo {

namespace {

QString displayPath(const std::filesystem::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

}  // namespace

ResultList::ResultList(QObject* parent) : QAbstractListModel(parent) {}

const QList<ConversionResult>& ResultList::results() const
{
    return results_;
}

void ResultList::set(QList<ConversionResult> results)
{
    beginResetModel();
    results_ = std::move(results);
    rows_.clear();
    rows_.reserve(results_.size());
    for (const ConversionResult& result : results_)
        rows_.append({displayPath(result.source().filename()), result.output() ? displayPath(*result.output()) : QString(),
                      result.ok()});
    convertedCount_ = int(std::count_if(rows_.begin(), rows_.end(), [](const Row& row) { return row.ok; }));
    endResetModel();
    emit countsChanged();
}

int ResultList::convertedCount() const
{
    return convertedCount_;
}

int ResultList::failedCount() const
{
    return int(rows_.size()) - convertedCount_;
}

bool ResultList::canReveal() const
{
    const auto firstConverted = std::find_if(rows_.begin(), rows_.end(), [](const Row& row) { return row.ok; });
    return firstConverted != rows_.end() && !firstConverted->output.isEmpty();
}

QStringList ResultList::writtenFiles() const
{
    QStringList written;
    for (const Row& row : rows_) {
        if (!row.output.isEmpty())
            written.append(row.output);
    }
    return written;
}

QString ResultList::reasonOf(const ConversionResult& result)
{
    if (!result.failureKind())
        return result.error() ? QString::fromStdString(*result.error()) : QString();
    switch (*result.failureKind()) {
    case FailureKind::outputNotCreated:
        return tr("Could not create output");
    case FailureKind::writeFailed:
        return tr("Write failed");
    case FailureKind::unreadable:
    case FailureKind::abandoned:
        break;
    }
    return tr("Could not read image");
}

int ResultList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant ResultList::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = rows_[index.row()];
    switch (role) {
    case fileNameRole:
        return row.fileName;
    case reasonRole:
        return reasonOf(results_[index.row()]);
    case okRole:
        return row.ok;
    default:
        return {};
    }
}

QHash<int, QByteArray> ResultList::roleNames() const
{
    return {{fileNameRole, "fileName"}, {reasonRole, "reason"}, {okRole, "ok"}};
}

}  // namespace pictavo
