// Deleting one drawing from an Access file of 100,000 records: the window's
// command from the confirmation to the refilled filter lists, and the file
// work alone (copy, change, check, rename), each against copying the same
// file with cp in the same run, so the figures read as ratios on a shared
// machine. Prints medians of several runs on fresh copies.
//
// Not part of the test suite; run build/bin/korvalt_delete_bench [runs].

#include "AccessBench.h"
#include "BenchToolkit.h"

#include "database/Database.h"
#include "database/access/AccessDelete.h"
#include "database/access/FileReplacement.h"
#include "database/clsDatabaseControl.h"
#include "query/clsComboHandler.h"
#include "startup/Module1.h"
#include "ui/frmTaviDatabase.h"

#include <QApplication>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace korvalt::bench {
namespace {

namespace fs = std::filesystem;

std::string freshCopy(const std::string& source, const std::string& dir, int run) {
    const std::string path = dir + "/run" + std::to_string(run) + ".mdb";
    fs::copy_file(source, path, fs::copy_options::overwrite_existing);
    // A user's file has long been on disk; a copy still waiting to be
    // written out would be written by the next fsync of anything else.
    ::sync();
    return path;
}

double windowDelete(const std::string& path, std::string drawing) {
    prepareProcess(path);
    gDatabase = OpenDatabase(path);
    gDatabaseOpen = true;
    (void)frmTaviDatabaseSlot.get();
    const double ms = millisecondsOf([&] { clsComboHandler().DeleteRecord(drawing); });
    ResetProcessState();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return ms;
}

} // namespace
} // namespace korvalt::bench

int main(int argc, char** argv) {
    using namespace korvalt;
    using namespace korvalt::bench;
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string source = KORVALT_BENCH_ACCESS_FILE;
    if (!accessFileAt(source))
        return 1;
    BenchToolkit toolkit;
    SetToolkit(&toolkit);
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const DrawingToDelete victim = pickDrawing(source);
    std::printf("file %s, %.1f MB; drawing %s, %zu records; %d runs\n", source.c_str(),
                static_cast<double>(fs::file_size(source)) / 1e6, victim.drawing.c_str(),
                victim.rows.size(), runs);

    std::vector<double> copies, syncedCopies, fileWork, window, openCheck;
    for (int run = 0; run < runs; ++run) {
        const std::string path = freshCopy(source, folder, run);
        const std::string target = folder + "/cp-target.mdb";
        copies.push_back(millisecondsOf([&] {
            const std::string command = "cp '" + path + "' '" + target + "'";
            if (std::system(command.c_str()) != 0)
                std::printf("cp failed\n");
        }));
        fs::remove(target);
        // The same copy made durable, as the delete must make its copy.
        syncedCopies.push_back(millisecondsOf([&] {
            const std::string command =
                "cp '" + path + "' '" + target + "' && sync '" + target + "'";
            if (std::system(command.c_str()) != 0)
                std::printf("cp or sync failed\n");
        }));
        fs::remove(target);
        // The structure is checked when the file is opened; the delete then
        // checks only the new file it writes.
        bool sound = false;
        openCheck.push_back(
            millisecondsOf([&] { sound = access::tableIsSound(path, victim.tdefPage); }));
        fileWork.push_back(millisecondsOf([&] {
            access::deleteRowsInFile(path, access::stampOf(path), victim.tdefPage, "Pipe",
                                     victim.rows, sound);
        }));
        const std::string again = freshCopy(source, folder, run);
        window.push_back(windowDelete(again, victim.drawing));
        fs::remove(access::FileReplacement::backupPathFor(path));
    }
    const double cp = median(copies);
    std::printf("%-44s %9.1f ms\n", "cp of the same file", cp);
    const double synced = median(syncedCopies);
    std::printf("%-44s %9.1f ms  %.2f x cp\n", "cp, then sync of the copy", synced, synced / cp);
    std::printf("%-44s %9.1f ms  %.2f x cp  %.2f x cp+sync\n",
                "file work (copy, change, check, rename)", median(fileWork), median(fileWork) / cp,
                median(fileWork) / synced);
    std::printf("%-44s %9.1f ms  %.2f x cp\n", "structure check when the file is opened",
                median(openCheck), median(openCheck) / cp);
    std::printf("%-44s %9.1f ms  %.2f x cp\n", "window: confirmation to refilled lists",
                median(window), median(window) / cp);
    std::printf("%d message(s) shown on the way (see standard error)\n", toolkit.messages());
    SetToolkit(nullptr);
    return 0;
}
