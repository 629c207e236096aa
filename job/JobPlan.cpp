#include "job/JobPlan.h"

#include <algorithm>

#include "common/Error.h"
#include "common/Path.h"
#include "common/System.h"
#include "image/ImgToByte.h"

namespace folder2pdf {

std::string documentPathOf(const std::string& folder) {
    std::string name = nameOfFolder(folder);
    name.erase(0, name.find_first_not_of('.'));
    return joinPath(folder, (name.empty() ? "document" : name) + ".pdf");
}

int turnedBy(int quarterTurns, int by) {
    return ((quarterTurns + by) % 4 + 4) % 4;
}

std::vector<Picture> pagesOf(const std::vector<Picture>& pictures) {
    std::vector<Picture> pages;
    pages.reserve(pictures.size());
    for (const Picture& picture : pictures) {
        for (std::size_t k = 0; k < picture.pages; ++k) {
            Picture page = picture;
            page.page = picture.page + k;
            page.pages = 1;
            pages.push_back(std::move(page));
        }
    }
    return pages;
}

JobPlan planFolder(const std::string& folder, const Listing& listing) {
    JobPlan plan;
    plan.folder = absolutePath(folder);
    plan.output = documentPathOf(plan.folder);
    const std::string document = nameOf(plan.output);
    for (PickedPicture& picture :
         pickPictures(plan.folder, listing(plan.folder), document, plan.leftOut)) {
        std::string path = joinPath(plan.folder, picture.name);
        plan.pictures.push_back({std::move(path), std::move(picture.name), 0, picture.pages});
    }
    return plan;
}

JobPlan planPictures(const std::vector<std::string>& paths, const std::string& output) {
    JobPlan plan;
    plan.output = output;
    ImgToByte loader;
    for (const std::string& path : paths) {
        plan.pictures.push_back({path, path, 0, loader.countPages(path)});
    }
    return plan;
}

void checkOutput(const JobPlan& plan) {
    const auto refusal = [&](const std::string& why) {
        return Error(ErrorReason::CannotWrite, plan.output, "not written there: " + why);
    };
    switch (outputProblem(plan.output)) {
        case OutputProblem::None:
            break;
        case OutputProblem::Folder:
            throw refusal("it is a folder");
        case OutputProblem::Device:
        case OutputProblem::ReservedName:
            throw refusal("it is a device");
        case OutputProblem::Fifo:
            throw refusal("it is a named pipe");
        case OutputProblem::Socket:
            throw refusal("it is a socket");
        case OutputProblem::DanglingLink:
            throw refusal("it is a link to nothing");
        case OutputProblem::LinkToSpecial:
            throw refusal("it is a link to a device, a pipe or a socket");
    }
    const std::optional<FileIdentity> output = fileIdentity(plan.output);
    if (!output) {
        return;
    }
    for (const Picture& picture : plan.pictures) {
        if (fileIdentity(picture.path) == output) {
            throw refusal("it is one of the pictures (" + nameOf(picture.path) + ")");
        }
    }
}

ParentPlan planParent(const std::string& parent) {
    const std::string root = absolutePath(parent);
    ParentPlan result;
    std::vector<std::string> linked;
    std::vector<std::string> names = listSubfolders(root, linked);
    std::sort(names.begin(), names.end(), naturalLess);
    std::sort(linked.begin(), linked.end(), naturalLess);
    for (std::string& name : linked) {
        result.leftOut.push_back({std::move(name), "a link to a folder, not one of its own"});
    }
    for (std::string& name : names) {
        try {
            JobPlan plan = planFolder(joinPath(root, name));
            if (!plan.pictures.empty() || !plan.leftOut.empty()) {
                result.folders.push_back(std::move(plan));
            }
        } catch (const Error& error) {
            result.leftOut.push_back({std::move(name), error.detail()});
        }
    }
    return result;
}

}  // namespace folder2pdf
