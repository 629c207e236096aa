// folder2pdf: the command line on the same engine as the window.
//
//   folder2pdf [OPTIONS] FOLDER                FOLDER/<name of FOLDER>.pdf, as the window's Generate
//   folder2pdf --list FOLDER                   the pictures that would become pages, in order
//   folder2pdf [OPTIONS] -o OUT.pdf PICTURE... one document, pages in the given order
//   folder2pdf [OPTIONS] --each-subfolder PARENT one document in each sub-folder of PARENT

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "cli/Console.h"
#include "cli/ConsoleProgress.h"
#include "cli/OptionTexts.h"
#include "common/Error.h"
#include "common/Path.h"
#include "common/System.h"
#include "common/Text.h"
#include "job/CommandLine.h"
#include "job/FolderJob.h"
#include "job/JobPlan.h"
#include "job/JobRun.h"
#include "job/PictureOrder.h"

namespace {

using namespace folder2pdf;

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
constexpr int exitLeftOut = 3;

void say(const std::string& line) {
    printText(stderr, "folder2pdf: " + line + "\n");
    std::fflush(stderr);
}

int usageError(const std::string& message) {
    printText(stderr, "folder2pdf: " + message + "\n" + usageText);
    return exitUsage;
}

// What the listing left out, on standard error, so that a name missing
// from the list is explained. `folder` goes in front of each name.
void reportLeftOut(const std::vector<LeftOut>& leftOut, const std::string& folder = "") {
    for (const auto& [name, reason] : leftOut) {
        say("left out: " + shownFile(folder.empty() ? name : joinPath(folder, name)) + ": " +
            reason);
    }
}

int convert(JobPlan plan, const CommandLine& line);

// The plan's pictures in the order --sort and --reverse ask; pictures given
// by path keep the order given unless --sort is given.
JobPlan arranged(JobPlan plan, const CommandLine& line) {
    const bool given = plan.folder.empty();
    if (line.reverse || (line.sortGiven && (given || line.sort != SortOrder::Name))) {
        if (given && !line.sortGiven) {
            std::reverse(plan.pictures.begin(), plan.pictures.end());
        } else {
            sortPictures(plan.pictures, line.sort, line.reverse);
        }
    }
    return plan;
}

int listPictures(const std::string& folder, const CommandLine& line) {
    const JobPlan plan = arranged(planFolder(folder), line);
    for (const Picture& picture : plan.pictures) {
        printText(stdout, shownName(picture.name) + "\n");
    }
    std::fflush(stdout);
    reportLeftOut(plan.leftOut);
    return 0;
}

void prepare(JobPlan& plan, const CommandLine& line) {
    plan.options = line.document;
    plan.workers = line.jobs > 0 ? line.jobs : defaultWorkers();
}

bool onTerminal(const CommandLine& line) {
    return !line.quiet && errorIsTerminal();
}

// A document for standard output: written whole beside the other
// temporary files, then copied out, so that a failure sends nothing.
int convertToOutput(JobPlan plan, CommandLine line) {
    if (outputIsTerminal()) {
        say("-o -: standard output is a terminal; pipe it or give a file");
        return exitUsage;
    }
    const std::string temporary = joinPath(
        temporaryFolder(), "folder2pdf-" + std::to_string(std::random_device{}()) + ".pdf");
    plan.output = temporary;
    line.quiet = true;
    int status = exitFailure;
    try {
        status = convert(plan, line);
    } catch (...) {
        removeFile(temporary);
        throw;
    }
    if ((status == 0 || status == exitLeftOut) && !copyToOutput(temporary)) {
        say("-o -: cannot write the document to standard output");
        status = exitFailure;
    }
    removeFile(temporary);
    return status;
}

// Runs one plan: the folder's or the pictures given.
int convert(JobPlan plan, const CommandLine& line) {
    reportLeftOut(plan.leftOut);
    if (plan.pictures.empty()) {
        say("no pictures in " + shownFile(plan.folder) + "; nothing written");
        return exitFailure;
    }
    prepare(plan, line);
    ConsoleProgress progress(onTerminal(line), line.keepGoing);
    progress.setPictures(plan.pictures);
    JobResult result;
    {
        StopSignals signals(progress.stopFlag());
        result = runJob(plan, progress);
    }
    if (result.stopped) {
        return exitInterrupted;
    }
    if (plan.options.maxSize > 0 && !line.quiet) {
        say("within " + groupedNumber(static_cast<std::uint64_t>(plan.options.maxSize)) +
            " bytes: " + groupedNumber(static_cast<std::uint64_t>(result.bytes)) +
            " bytes, photographs as JPEG of quality " + std::to_string(result.jpegQuality) +
            (result.pictureScale < 1
                 ? ", scaled to " + std::to_string(std::lround(result.pictureScale * 100)) + "%"
                 : ""));
    }
    if (!line.quiet) {
        printText(stdout, shownPath(result.path) + "\n");
    }
    return result.skipped.empty() ? 0 : exitLeftOut;
}

// --each-subfolder: a document in each sub-folder with pictures, one
// progress line for all; a folder that fails is reported and the others go
// on. 0 when all were written whole, 1 when any failed, 3 when pictures
// were left out, 130 on Ctrl-C.
int convertEachSubfolder(const CommandLine& line) {
    ParentPlan parent = planParent(line.parent);
    reportLeftOut(parent.leftOut);
    std::int32_t total = 0;
    for (JobPlan& plan : parent.folders) {
        plan = arranged(std::move(plan), line);
        reportLeftOut(plan.leftOut, plan.folder);
        prepare(plan, line);
        total = checkedAdd(total, checkedInt32(plan.pictures.size()));
    }
    if (total == 0) {
        say("no pictures in any sub-folder of " + shownFile(absolutePath(line.parent)) +
            "; nothing written");
        return exitFailure;
    }
    ConsoleProgress progress(onTerminal(line), line.keepGoing);
    StopSignals signals(progress.stopFlag());
    std::int32_t before = 0;
    std::int32_t documents = 0;
    std::int32_t pages = 0;
    std::int32_t failed = 0;
    bool leftOut = false;
    for (const JobPlan& plan : parent.folders) {
        if (plan.pictures.empty()) {
            continue;
        }
        const std::string name = nameOfFolder(plan.folder);
        progress.continueBatch(name, before, total);
        progress.setPictures(plan.pictures);
        before += static_cast<std::int32_t>(plan.pictures.size());
        JobResult result;
        try {
            result = runJob(plan, progress);
        } catch (const Error& error) {
            progress.clearLine();
            say(shownMessage(error));
            ++failed;
            continue;
        }
        if (result.stopped) {
            return exitInterrupted;
        }
        ++documents;
        pages += result.pages;
        leftOut = leftOut || !result.skipped.empty();
        if (!line.quiet) {
            progress.clearLine();
            printText(stdout, shownPath(result.path) + "\n");
            std::fflush(stdout);
        }
    }
    progress.finishBatch(documents, pages, failed);
    return failed > 0 ? exitFailure : leftOut ? exitLeftOut : 0;
}

// Runs the command the line describes; errors end here, as a message and
// exit status 1.
int run(const CommandLine& line) {
    try {
        switch (line.form) {
            case CommandLine::Form::List:
                return listPictures(line.operands[0], line);
            case CommandLine::Form::EachSubfolder:
                return convertEachSubfolder(line);
            case CommandLine::Form::Pictures:
                if (line.output == "-") {
                    return convertToOutput(
                        arranged(planPictures(line.operands, line.output), line), line);
                }
                return convert(arranged(planPictures(line.operands, line.output), line), line);
            case CommandLine::Form::Folder:
                return convert(arranged(planFolder(line.operands[0]), line), line);
        }
    } catch (const Error& error) {
        say(shownMessage(error));
    } catch (const std::exception& error) {
        say(error.what());
    }
    return exitFailure;
}

}  // namespace

int main(int count, char** values) {
    prepareConsole();
    CommandLine line;
    if (const auto problem = readCommandLine(commandArguments(count, values), line)) {
        return usageError(*problem);
    }
    if (line.help) {
        printText(stdout, helpText());
        return 0;
    }
    if (line.version) {
        printText(stdout, std::string("folder2pdf ") + FOLDER2PDF_VERSION + "\n");
        return 0;
    }
    return run(line);
}
