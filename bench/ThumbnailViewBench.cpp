// The window's thumbnail view on a large folder: 2,000 photographs of 12
// megapixels (one generated JPEG, hard-linked 2,000 times: every name is a
// picture of its own to the thumbnails' cache) opened in the Qt window on
// the offscreen platform. Prints the time until the list shows, until every
// thumbnail in view is drawn, until a jump to the list's middle is drawn and
// until every thumbnail is made; the longest the window's thread left a
// 10-millisecond timer waiting; and the process's peak memory.
//
//   thumbnail_view_bench [WORK_FOLDER]   (default: a new folder under /tmp)
//
// The folder is removed afterwards.

#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "SamplePictures.h"
#include "ui/qt/PictureList.h"
#include "ui/qt/QtWindow.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPictures = 2000;
constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int kTickMs = 10;

fs::path makeFolder(const fs::path& root) {
    const fs::path folder = root / "photos";
    fs::create_directories(folder);
    const std::vector<std::uint8_t> jpeg =
        bench::encodeJpeg(bench::photoPixels(kWidth, kHeight), kWidth, kHeight, 90);
    const fs::path first = folder / "IMG_0001.jpg";
    std::ofstream(first, std::ios::binary)
        .write(reinterpret_cast<const char*>(jpeg.data()),
               static_cast<std::streamsize>(jpeg.size()));
    for (int i = 2; i <= kPictures; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%04d.jpg", i);
        fs::create_hard_link(first, folder / name);
    }
    std::printf("folder: %d hard links of one %d x %d JPEG of %zu bytes\n", kPictures, kWidth,
                kHeight, jpeg.size());
    return folder;
}

bool visibleDrawn(const folder2pdf::PictureList& list) {
    const auto [first, end] = list.visibleRows();
    for (int row = first; row < end; ++row) {
        if (!list.item(row)->data(folder2pdf::PictureList::thumbnailDrawnRole).toBool()) {
            return false;
        }
    }
    return end > first;
}

// Lets the window's events run until `done`, at most `limitMs`: the
// milliseconds it took.
double runUntil(const std::function<bool()>& done, qint64 limitMs = 60000) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return static_cast<double>(waited.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const fs::path root =
        argc > 1 ? fs::path(argv[1])
                 : fs::temp_directory_path() / ("thumbnail-bench-" + std::to_string(::getpid()));
    // The window remembers its view and folder: here, not in the user's settings.
    fs::create_directories(root / "config");
    qputenv("XDG_CONFIG_HOME", (root / "config").string().c_str());
    const fs::path folder = makeFolder(root);

    QApplication application(argc, argv);
    folder2pdf::QtWindow window;
    folder2pdf::Form1& form = window.form();
    form.setListMode(folder2pdf::ListMode::Thumbnails);
    window.show();
    auto& list = *static_cast<folder2pdf::PictureList*>(
        window.findChild<QListWidget*>(QStringLiteral("List")));
    QCoreApplication::processEvents();

    // How late a 10-ms timer fires: how long the window's thread did not
    // answer, while the folder opens and then while the thumbnails are made.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = clock.nsecsElapsed();
    std::vector<double> openingWaits, makingWaits;
    std::vector<double>* waits = &openingWaits;
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        waits->push_back(static_cast<double>(now - lastTick) / 1e6 - kTickMs);
        lastTick = now;
    });
    ticks.start(kTickMs);

    double listShown = 0, visibleShown = 0, middleShown = 0, allMade = 0;
    double cachePeak = 0, cacheEnd = 0;
    QTimer::singleShot(0, [&] {
        QElapsedTimer open;
        open.start();
        form.openGivenFolder(
            QFile::encodeName(QString::fromStdString(folder.string())).toStdString());
        list.repaint();
        listShown = static_cast<double>(open.nsecsElapsed()) / 1e6;
        visibleShown = listShown + runUntil([&] { return visibleDrawn(list); });
        waits = &makingWaits;
        list.scrollToItem(list.item(kPictures / 2), QAbstractItemView::PositionAtTop);
        middleShown = runUntil([&] { return visibleDrawn(list); });
        runUntil([&] { return form.thumbnails() && form.thumbnails()->idle(); }, 900000);
        allMade = static_cast<double>(open.nsecsElapsed()) / 1e6;
        // Before the window closes, and its cache with it.
        if (const folder2pdf::ThumbnailCache* cache = form.thumbnails()) {
            cachePeak = static_cast<double>(cache->peakMemory()) / (1 << 20);
            cacheEnd = static_cast<double>(cache->memoryInUse()) / (1 << 20);
        }
        QApplication::quit();
    });
    QApplication::exec();
    const auto longest = [](std::vector<double> ms, double fraction) {
        if (ms.empty()) {
            return 0.0;
        }
        std::sort(ms.begin(), ms.end());
        return ms[static_cast<std::size_t>(fraction * static_cast<double>(ms.size() - 1))];
    };

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("rows listed: %d\n", list.count());
    std::printf("%-44s %10s\n", "", "ms");
    std::printf("%-44s %10.0f\n", "until the list shows", listShown);
    std::printf("%-44s %10.0f\n", "until every thumbnail in view is drawn", visibleShown);
    std::printf("%-44s %10.0f\n", "a jump to row 1000: until its view is drawn", middleShown);
    std::printf("%-44s %10.0f\n", "until all 2,000 thumbnails are made", allMade);
    std::printf("%-44s %10.1f\n", "thread's longest wait, opening", longest(openingWaits, 1));
    std::printf("%-44s %10.1f\n", "thread's longest wait, making thumbnails",
                longest(makingWaits, 1));
    std::printf("%-44s %10.1f\n", "  99th percentile, making thumbnails",
                longest(makingWaits, 0.99));
    std::printf("%-44s %10.1f MiB\n", "peak memory (maxrss)", usage.ru_maxrss / 1024.0);
    std::printf("%-44s %10.1f MiB\n", "thumbnails' cache at most", cachePeak);
    std::printf("%-44s %10.1f MiB\n", "thumbnails' cache at the end", cacheEnd);
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
