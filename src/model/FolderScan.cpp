#include "model/FolderScan.h"

#include "model/PhotoNames.h"

#include <QFile>
#include <QPromise>

#include <pthread.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

namespace pictavo {

namespace fs = std::filesystem;

namespace {

struct Entry {
    QString name;
    fs::path path;
};

QUrl urlOf(const fs::path& path)
{
    return QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path.native())));
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Compares two runs of digits by their values.
int compareNumbers(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == u'0')
        a = a.sliced(1);
    while (b.size() > 1 && b.front() == u'0')
        b = b.sliced(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

qsizetype digitRun(QStringView text, qsizetype from)
{
    qsizetype end = from;
    while (end < text.size() && isDigit(text[end]))
        ++end;
    return end - from;
}

// The name a given folder goes by among its outputs: "Trip" for /photos/Trip/; none for the root.
fs::path nameOf(const fs::path& folder)
{
    const fs::path normal = folder.lexically_normal();
    return normal.has_filename() ? normal.filename() : normal.parent_path().filename();
}

// Appends the photos under `folder`, reached from the given folder's parent by `subfolder`, to `found`.
void collect(const fs::path& folder, const fs::path& subfolder, QList<FoundPhoto>& found,
             const std::function<bool()>& cancelled)
{
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error)
        return;  // unreadable: skipped, the rest goes on
    std::vector<Entry> files, folders;
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        if (cancelled())
            return;
        const fs::directory_entry& entry = *it;
        const fs::path& path = entry.path();
        if (path.filename().native().starts_with('.'))
            continue;
        std::error_code typeError;
        Entry named{QFile::decodeName(QByteArray::fromStdString(path.filename().native())), path};
        // A link counts as the file it names; a link to a folder is never
        // followed, so no link can make the scan go round in circles.
        if (entry.is_symlink(typeError)) {
            if (entry.is_regular_file(typeError))
                files.push_back(std::move(named));
        } else if (entry.is_directory(typeError)) {
            folders.push_back(std::move(named));
        } else if (entry.is_regular_file(typeError)) {
            files.push_back(std::move(named));
        }
    }
    const auto byName = [](const Entry& a, const Entry& b) { return naturalLess(a.name, b.name); };
    std::sort(files.begin(), files.end(), byName);
    std::sort(folders.begin(), folders.end(), byName);
    for (const Entry& file : files) {
        QUrl url = urlOf(file.path);
        if (isConvertible(url))
            found.append({std::move(url), subfolder});
    }
    for (const Entry& inner : folders) {
        if (cancelled())
            return;
        collect(inner.path, subfolder / inner.path.filename(), found, cancelled);
    }
}

QList<FoundPhoto> expandFolders(const QList<QUrl>& locations, const std::function<bool()>& cancelled)
{
    QList<FoundPhoto> found;
    for (const QUrl& location : locations) {
        if (cancelled())
            break;
        if (isLocalFolder(location)) {
            const fs::path folder = QFile::encodeName(location.toLocalFile()).toStdString();
            collect(folder, nameOf(folder), found, cancelled);
        } else {
            found.append({location, {}});
        }
    }
    return found;
}

}  // namespace

bool naturalLess(QStringView a, QStringView b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const qsizetype m = digitRun(a, i), n = digitRun(b, j);
            if (const int order = compareNumbers(a.sliced(i, m), b.sliced(j, n)))
                return order < 0;
            i += m;
            j += n;
            continue;
        }
        const char32_t x = QChar::toCaseFolded(char32_t(a[i].unicode()));
        const char32_t y = QChar::toCaseFolded(char32_t(b[j].unicode()));
        if (x != y)
            return x < y;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    // Names equal but for letter case or leading zeros: a fixed order all the same.
    return a.compare(b) < 0;
}

bool isLocalFolder(const QUrl& url)
{
    std::error_code error;
    return url.isLocalFile() && fs::is_directory(QFile::encodeName(url.toLocalFile()).toStdString(), error);
}

QFuture<QList<FoundPhoto>> expandFoldersInBackground(QList<QUrl> locations)
{
    QPromise<QList<FoundPhoto>> promise;
    QFuture<QList<FoundPhoto>> future = promise.future();
    promise.start();
    // A thread of its own, never waited for: a folder on a stalled share can
    // hold a scan for long, and quitting must not wait for it.
    std::thread([promise = std::move(promise), locations = std::move(locations)]() mutable {
        ::pthread_setname_np(::pthread_self(), "folder-scan");  // so a process listing tells it apart
        QList<FoundPhoto> found = expandFolders(locations, [&promise] { return promise.isCanceled(); });
        if (!promise.isCanceled())
            promise.addResult(std::move(found));
        promise.finish();
    }).detach();
    return future;
}

}  // namespace pictavo
