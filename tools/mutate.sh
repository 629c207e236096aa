#!/bin/bash
# Mutation run: each mutant below is a one-line change, anchored on the exact
# text it replaces. One at a time, in a scratch copy of the tree with a
# build folder kept from run to run, each mutant is applied, built
# incrementally and tested; a mutant that no test notices shows a fault the
# tests would miss.
#
#   tools/mutate.sh            all mutants (about 11 minutes on 2 cores)
#   tools/mutate.sh 3 17       the mutants numbered 3 and 17 only
#   tools/mutate.sh --check    only checks that every anchor matches exactly
#                              once in the tree (seconds; run it after code
#                              moved, then fix the anchors it names)
#
# The scratch copy lives in $MUTATE_DIR (default /tmp/folder2pdf-mutate).
# It prints, per mutant, "killed by <tests>", "survived" or "stillborn" (it
# does not build, so it proves nothing), then "N killed, M survived".
set -u
export LC_ALL=C
root=$(cd "$(dirname "$0")/.." && pwd)

# ---------------------------------------------------------------------------
# The mutants: mutant FILE ORIGINAL REPLACEMENT. A `harmless REASON` after a
# mutant says it is expected to survive, because it changes nothing that can
# be observed; it is then counted apart from real survivors.
files=() originals=() replacements=() reasons=()
mutant() {
    files+=("$1") originals+=("$2") replacements+=("$3") reasons+=("")
}
harmless() {
    reasons[${#reasons[@]} - 1]=$1
}

# BMP: row layout, RLE commands, palette, header checks.
mutant image/BmpDecoder.cpp 'std::uint64_t(std::abs(info.height) - 1) + row.bytes' \
    'std::uint64_t(std::abs(info.height))'
mutant image/BmpDecoder.cpp 'r.take(k == height - 1 ? row.bytes : row.stride' 'r.take(row.stride'
mutant image/BmpDecoder.cpp 'if (x_ > width_ || row_ >= height_)' 'if (x_ >= width_ || row_ >= height_)'
mutant image/BmpDecoder.cpp 'if (bytes % 2 != 0 && r_.has(1))' 'if (bytes % 2 != 0)'
mutant image/BmpDecoder.cpp '(row_ == height_ - 1 && x_ == width_)' '(row_ == height_ - 1)'
mutant image/BmpDecoder.cpp 'info.colorsUsed > (1u << bits)' 'info.colorsUsed > (2u << bits)'
mutant image/BmpDecoder.cpp 'info.height < 0 ? k : height - 1 - k' 'info.height > 0 ? k : height - 1 - k'
mutant image/BmpDecoder.cpp 'if (((mask + low) & mask) != 0)' 'if (((mask + low) & mask) == 1)'
mutant image/BmpDecoder.cpp 'masks = {info.masks[0], info.masks[1], info.masks[2], 0};' \
    'masks = {info.masks[0], info.masks[1], info.masks[2], 0xFF};'
mutant image/BmpDecoder.cpp 'rle4_ ? (count + 1) / 2 : count' 'rle4_ ? count / 2 : count'
mutant image/BmpDecoder.cpp 'const unsigned first = rle4 ? value >> 4 : value;' \
    'const unsigned first = rle4 ? value & 15 : value;'
mutant image/BmpDecoder.cpp 'std::memset(color ? out.rgbRow(y) : out.row(y), 255,' \
    'std::memset(color ? out.rgbRow(y) : out.row(y), 0,'
mutant image/BmpDecoder.cpp 'row_ < height_ ? static_cast' 'true ? static_cast'
mutant image/BmpDecoder.cpp 'const int wanted = info.compression == kAlphaBitfields ? 4 : 3;' \
    'const int wanted = 3;'
mutant image/BmpDecoder.cpp 'return info.headerSize == 52 ? 3 : 4;' 'return 4;'
mutant image/BmpDecoder.cpp 'return info.bitCount == 24 || (info.bitCount == 32 && info.compression == kRgb);' \
    'return info.bitCount == 24;'
mutant image/BmpDecoder.cpp 'if (info.headerSize >= 40) {' 'if (info.headerSize >= 16) {'
mutant image/BmpDecoder.cpp 'if (info.pixelOffset < paletteEnd && holdsRowsAt(r, info, paletteEnd)) {' \
    'if (false) {'
mutant image/BmpDecoder.cpp 'if (info.height == 0 || info.height == INT32_MIN) {' 'if (info.height == 0) {'
mutant image/BmpDecoder.cpp 'if (available < needed) {' 'if (false) {'

# GIF: the frame clipped to the screen, transparency, interlacing.
mutant image/GifDecoder.cpp 'std::min(frame.Left + frame.Width, width)' 'frame.Left + frame.Width'
mutant image/GifDecoder.cpp 'std::min(frame.Left, width)' 'frame.Left'
mutant image/GifDecoder.cpp 'if (y >= height) {' 'if (y > height) {'
mutant image/GifDecoder.cpp $'if (transparent >= 0) {\n        gray[transparent]' \
    $'if (transparent > 0) {\n        gray[transparent]'
mutant image/GifDecoder.cpp 'start[4] = {0, 4, 2, 1}' 'start[4] = {0, 2, 4, 1}'

# JPEG: the coefficient bound, CMYK.
mutant image/JpegDecoder.cpp 'return (value + step - 1) / step * step;' 'return value;'
mutant image/JpegDecoder.cpp 'const bool inverted = cinfo->saw_Adobe_marker;' \
    'const bool inverted = !cinfo->saw_Adobe_marker;'
mutant image/JpegDecoder.cpp 'input_scan_number > kMaxScans' 'input_scan_number > 2 * kMaxScans'
mutant image/JpegDecoder.cpp 'case JWRN_JPEG_EOF:' 'case JWRN_EXTRANEOUS_DATA:'

# PNG: the size bound, tall pictures, 16-bit samples.
mutant image/PngDecoder.cpp '    checkDataCanHold(session);' '    (void)session;'
mutant image/PngDecoder.cpp 'PNG_USER_WIDTH_MAX, PNG_UINT_31_MAX' 'PNG_USER_WIDTH_MAX, PNG_USER_HEIGHT_MAX'
mutant image/PngDecoder.cpp 'png_set_scale_16(png);' 'png_set_strip_16(png);'

# The raster's size rule.
mutant image/GrayRaster.cpp 'std::int64_t{width} * height * bytesPerPixel;' \
    'std::int64_t{width} * bytesPerPixel;'
mutant image/ImgToByte.cpp 'if (size == 0) {' 'if (false) {'

# The gray rule: its rounding, and the fast paths' ties handed to it.
mutant image/Gray.cpp 'return static_cast<std::uint8_t>(std::nearbyint(sum));' \
    'return static_cast<std::uint8_t>(std::round(sum));'
mutant image/Gray.cpp 'return s == q * 1000;' 'return false;'
mutant image/Gray.cpp 'if (ties & 1) {' 'if (false) {'
mutant image/Gray.cpp 'const __m128i half = _mm_set1_epi32(500);' \
    'const __m128i half = _mm_set1_epi32(499);'

# Turning a picture by its EXIF orientation.
mutant image/JpegStructure.cpp 'kTiffShort || tiff.u32(entry + 4) != 1) {' 'kTiffShort) {'
mutant image/JpegStructure.cpp 'if (!tiff.has(entry, 12)) {' 'if (!tiff.has(entry, 4)) {'
mutant image/JpegStructure.cpp 'entry == 0 || tiff.u16(entry + 2) != kTiffShort ||' 'entry == 0 ||'
mutant image/GrayRaster.cpp 'const bool rowsFromBottom = orientation == 6 || orientation == 7;' \
    'const bool rowsFromBottom = orientation == 6 || orientation == 8;'
mutant image/GrayRaster.cpp 'if (columnsFromRight) {' 'if (false) {'
mutant image/GrayRaster.cpp 'for (std::ptrdiff_t y = 0; y < height / 2; ++y) {' \
    'for (std::ptrdiff_t y = 0; y <= height / 2; ++y) {'

# Compression: the room offered, the length kept, the failure's kind.
mutant page/Compress.cpp 'static_cast<double>(n)) + 12.0;' 'static_cast<double>(n)) + 11.0;'
mutant page/Compress.cpp 'scratch.resize(length);' 'scratch.resize(length + 1);'
mutant page/Compress.cpp 'if (!(rounded <= 2147483647.0)) {' 'if (false) {'
mutant page/Compress.cpp '    if (data.empty()) {' '    if (false) {'
mutant page/Compress.cpp $'if (result != Z_OK) {\n        return result;' \
    $'if (result != Z_OK) {\n        std::swap(data, scratch);\n        return result;'
mutant page/PageMaker.cpp 'result == Z_MEM_ERROR ? ErrorReason::OutOfMemory' \
    'result != Z_MEM_ERROR ? ErrorReason::OutOfMemory'

# Pages past the readers' limit: scaled, written without trailing zeros.
mutant pdf/PageLayout.cpp "result.erase(result.find_last_not_of('0') + 1);" ';'
mutant pdf/PageLayout.cpp 'static_cast<double>(side) * maxPageSide / longer' \
    'static_cast<double>(side) * maxPageSide / (longer + 1)'

# The writer: object numbers, counters, lengths, cross-reference table.
mutant pdf/pdf.cpp 'str(checkedAdd(N, 2)) + " 0 R >>' 'str(checkedAdd(N, 1)) + " 0 R >>'
mutant pdf/pdf.cpp 'kids += str(N) + " 0 R ";' 'kids += str(N + 1) + " 0 R ";'
mutant pdf/pdf.cpp '/Count " + str(pageCount)' '/Count " + str(pageCount + 1)'
mutant pdf/pdf.cpp '/MediaBox [0 0 " + pageW' '/MediaBox [0 0 " + pageH'
mutant pdf/pdf.cpp 'addLine("<< /Length " + str(rawLen) + " >>");' \
    'addLine("<< /Length " + str(rawLen + 1) + " >>");'
mutant pdf/pdf.cpp 'addLine("0 " + str(objCount));' 'addLine("0 " + str(objCount - 1));'
mutant pdf/pdf.cpp 'objOffset[3] = pdfLen;' 'objOffset[3] = pdfLen + 1;'
mutant pdf/pdf.cpp '" /Length1 " + str(rawLen)' '" /Length1 " + str(zipLen)'
mutant pdf/pdf.cpp 'if (size > bufferCapacity_ - buffered_) {' 'if (size > bufferCapacity_) {'

# Document options: paper layout, resolution, compaction, JPEG, title and
# bookmarks, their text strings.
mutant pdf/PageLayout.cpp '    if (W > H) {' '    if (false) {'
mutant pdf/PageLayout.cpp 'scale = std::min(scale, 1.0);' ';'
mutant pdf/PageLayout.cpp 'number((paper.width - width) / 2)' 'number(paper.width - width)'
mutant pdf/PageLayout.cpp 'options.marginMM * pointsPerMM;' 'options.marginMM;'
mutant pdf/PageLayout.cpp 'return iso(148, 210);' 'return iso(148, 211);'
mutant pdf/PageLayout.cpp 'if (longer > maxPageSide) {' 'if (false) {'
mutant pdf/PageLayout.cpp 'if (paper && options.dpi > 0) {' 'if (false) {'
mutant page/CompactEncoder.cpp 'return static_cast<std::uint8_t>((a + b) / 2);' \
    'return static_cast<std::uint8_t>((a + b + 1) / 2);'
mutant page/CompactEncoder.cpp 'const int pc = std::abs(p - c);' 'const int pc = std::abs(p - b);'
mutant page/CompactEncoder.cpp 'exact = !used[level] || level % step == 0;' 'exact = !used[level];'
mutant page/Palette.cpp '<< (8 - bits - bit % 8));' '<< (8 - bits - bit % 7));'
mutant page/CompactEncoder.cpp 'if (zipped_.size() <= page.stream.size()) {' 'if (false) {'
mutant page/CompactEncoder.cpp 'const std::uint8_t* up = y > 0 ? row - rows.rowBytes : zeros.data();' \
    'const std::uint8_t* up = row;'
mutant page/PageMaker.cpp $'} else if (options_.compression == Compression::Compact) {\n        compact_->encode(image_, page);' \
    $'} else if (options_.compression == Compression::Compact) {\n        compressRaster(image_.imgData, page.stream);'
mutant pdf/pdf.cpp '" /Columns " + str(W)' '" /Columns " + str(W + 1)'
mutant pdf/pdf.cpp 'std::string filter = jpeg ? "/DCTDecode"' 'std::string filter = false ? "/DCTDecode"'
mutant pdf/pdf.cpp '        if (n < last) {' '        if (n <= last) {'
mutant pdf/pdf.cpp '" 0 R /Count " + str(count) + " >>"' '" 0 R /Count " + str(count + 1) + " >>"'
mutant pdf/pdf.cpp 'catalog += " /ViewerPreferences << /DisplayDocTitle true >>";' ';'
mutant pdf/pdf.cpp 'objOffset[1] = pdfLen;' 'objOffset[1] = pdfLen + 1;'
mutant pdf/TextString.cpp "if (c == '\\\\' || c == '(' || c == ')') {" "if (c == '(' || c == ')') {"
mutant pdf/TextString.cpp 'addUnit(hex, 0xD800 + ((c - 0x10000) >> 10));' 'addUnit(hex, 0xD800 + (c >> 10));'
mutant common/Utf8.cpp 'if (c < smallest[length] ||' 'if (false ||'
mutant pdf/TextString.cpp 'if (dot != std::string::npos && dot > 0) {' 'if (dot != std::string::npos) {'

# The atomic replace: flush, clean-up, permissions, the signal path.
mutant pdf/AtomicFilePosix.cpp 'if (::fsync(t.file) != 0)' 'if ((::fsync(t.file), false))'
mutant pdf/AtomicFilePosix.cpp $'if (!t.name.empty()) {\n                ::unlinkat(' \
    $'if (false) {\n                ::unlinkat('
mutant pdf/AtomicFilePosix.cpp 'if (::access("/proc/self/fd", X_OK) != 0) {' 'if (true) {'
mutant pdf/AtomicFilePosix.cpp 'if (t.name.empty() && !giveName(' 'if (false && !giveName('
mutant job/FolderJob.cpp $'if (!job.replacePending_) {\n                job.writer.reset();' \
    $'if (true) {\n                job.writer.reset();'
mutant job/FolderJob.cpp $'runRelayed(job);\n    } catch (const Error& error) {\n        replacePending_ = error.reason() == ErrorReason::InUse;' \
    $'runRelayed(job);\n    } catch (const Error& error) {\n        replacePending_ = false;'
mutant pdf/AtomicFilePosix.cpp '::fchmod(fd, old.st_mode & 07777);' '(void)old;'
mutant pdf/AtomicFilePosix.cpp 'if (state != Published && state != Committing)' 'if (true)'
harmless 'where the file system offers O_TMPFILE (tmpfs, ext4: where the tests run) the temporary file has no name until commit, which holds signals back, so a signal finds nothing to remove; the handler serves the other file systems'
mutant pdf/AtomicFilePosix.cpp 'termination.sa_handler = removeTemporaryAndEnd;' 'termination.sa_handler = SIG_DFL;'
harmless 'where the file system offers O_TMPFILE (tmpfs, ext4: where the tests run) the temporary file has no name until commit, which holds signals back, so a signal finds nothing to remove; the handler serves the other file systems'

# The job: stopping, commands.
mutant job/JobRun.cpp $'if (events.stopRequested()) {\n            result.stopped = true;' \
    $'if (false) {\n            result.stopped = true;'
mutant job/JobRun.cpp $'if (events.stopRequested()) {\n        result.stopped = true;' \
    $'if (false) {\n        result.stopped = true;'
mutant job/FolderJob.cpp 'job.stopRequested_.store(false);' ';'
mutant job/FolderJob.cpp $'if (running_) {\n        return;\n    }\n    const std::string chosen' \
    $'if (false) {\n        return;\n    }\n    const std::string chosen'
mutant job/FolderJob.cpp $'void FolderJob::generate() {\n    if (running_ || lastIndex < 0)' \
    $'void FolderJob::generate() {\n    if (running_)'
mutant job/FolderJob.cpp '(step < 0 && rows.front() == 0) ||' '(step < 0 && rows.front() < 0) ||'
mutant job/FolderJob.cpp '(step > 0 && rows.back() == lastIndex))' '(step > 0 && rows.back() > lastIndex))'
mutant job/FolderJob.cpp 'std::for_each(rows.rbegin(), rows.rend(), swapOne);' \
    'std::for_each(rows.begin(), rows.end(), swapOne);'
mutant job/FolderJob.cpp 'before += !selected && k < row;' 'before += k < row;'
mutant job/PagePipeline.cpp 'if (count <= 1) {' 'if (count < 1) {'
harmless 'a thread for a single picture, or a single thread, makes the same pages as the caller'

# The run: the front end's answers, the stop checks, the output's refusals,
# what a folder and a parent plan hold.
mutant job/JobRun.cpp $'case FailureAnswer::Retry:\n                    continue;' \
    $'case FailureAnswer::Retry:\n                    return nullptr;'
mutant job/JobRun.cpp 'again ? &pipeline.retake(k) : &pipeline.take(k)' '&pipeline.take(k)'
mutant job/JobRun.cpp 'result.skipped.push_back(error);' ';'
mutant job/JobRun.cpp $'case FailureAnswer::Stop:\n                    throw;' \
    $'case FailureAnswer::Stop:\n                    return nullptr;'
mutant job/JobRun.cpp 'if (result.pages == 0 && count > 0) {' 'if (false) {'
mutant job/JobRun.cpp 'events.stopped(k);' 'events.stopped(k + 1);'
mutant job/FolderJob.cpp 'return stop_.load();' 'return false;'
mutant job/JobRun.cpp '    checkOutput(plan);' '    (void)plan;'
mutant job/JobPlan.cpp 'if (fileIdentity(picture.path) == output) {' 'if (false) {'
mutant job/JobPlan.cpp 'throw refusal("it is a folder");' 'break;'
mutant job/JobPlan.cpp 'throw refusal("it is a device");' 'break;'
mutant job/JobPlan.cpp 'throw refusal("it is a named pipe");' 'break;'
mutant job/JobPlan.cpp 'throw refusal("it is a socket");' 'break;'
mutant job/JobPlan.cpp 'throw refusal("it is a link to nothing");' 'break;'
mutant job/JobPlan.cpp 'throw refusal("it is a link to a device, a pipe or a socket");' 'break;'
mutant common/SystemPosix.cpp 'return problem == OutputProblem::None || problem == OutputProblem::Folder' \
    'return problem == OutputProblem::None'
mutant common/SystemPosix.cpp 'errno == ENOENT || errno == ENOTDIR || errno == ELOOP ?' 'errno == ENOENT ?'
mutant common/SystemPosix.cpp '(link ? linked : own).push_back' '(false ? linked : own).push_back'
mutant job/JobPlan.cpp "name.erase(0, name.find_first_not_of('.'));" ';'
mutant job/JobPlan.cpp '(name.empty() ? "document" : name)' 'name'
mutant job/JobPlan.cpp 'if (!plan.pictures.empty() || !plan.leftOut.empty()) {' 'if (true) {'

# The pipeline: pages taken in order, slots not reused too early.
mutant job/PagePipeline.cpp 'nextToPrepare_ < taken_ + slots_.size();' \
    'nextToPrepare_ <= taken_ + slots_.size();'
mutant job/PagePipeline.cpp 'taken_ = index;' 'taken_ = index + 1;'
mutant job/PagePipeline.cpp 'return index < nextToPrepare_ &&' 'return index <= nextToPrepare_ &&'
mutant job/PagePipeline.cpp 'std::max(1, workers)) + 1)' 'std::max(1, workers)) + 0)'
harmless 'one slot fewer only makes a worker wait sooner; the order and the pages stay'

# The listing: which files are pictures, their natural order.
mutant job/FolderListing.cpp '".jpg",  ".png",  ".jpeg"' '".jpg",  ".pnx",  ".jpeg"'
mutant job/FolderListing.cpp '".jpeg", ".jfif",' '".jpeg", ".jfxf",'
mutant job/FolderListing.cpp 'if (!isPictureName(name) || sameIgnoringCase(name, document))' 'if (!isPictureName(name))'
mutant job/FolderListing.cpp 'if (!sniffPicture(start, size)) {' 'if (false) {'
mutant common/SystemPosix.cpp 'return name.empty() ? "root" : name;' 'return name;'
mutant job/FolderJob.cpp $'view_.showMessage(JobMessage::Count, pageCount());\n    // However' '// However'
mutant job/FolderListing.cpp 'return aLength < bLength ? -1 : 1;' 'return aLength < bLength ? 1 : -1;'
mutant job/FolderListing.cpp "while (i < a.size() && a[i] == '0')" "while (i < a.size() && a[i] == '#')"
mutant job/FolderListing.cpp 'return order != 0 ? order < 0 : a < b;' 'return order < 0;'
mutant job/FolderListing.cpp "static_cast<unsigned char>(byte - 'A' + 'a')" 'byte'
mutant common/SystemPosix.cpp "if (name.empty() || name[0] == '.')" 'if (name.empty())'
mutant common/SystemPosix.cpp 'return entry.status(statusError).type() == type;' \
    'return entry.status(statusError).type() != std::filesystem::file_type::directory;'

# The command line's exit codes and options.
mutant cli/main.cpp 'constexpr int exitUsage = 2;' 'constexpr int exitUsage = 1;'
mutant cli/Console.h 'constexpr int exitInterrupted = 130;' 'constexpr int exitInterrupted = 1;'
mutant job/CommandLine.cpp 'numberIn(value, 1, 1024, false)' 'numberIn(value, 0, 1024, false)'
mutant cli/ConsolePosix.cpp 'interrupts.fetch_add(1) > 0' 'interrupts.fetch_add(1) >= 0'

# The command line's document options and --each-subfolder.
mutant job/CommandLine.cpp 'if (line.document.compression == Compression::Compact) {' 'if (false) {'
mutant cli/main.cpp 'return failed > 0 ? exitFailure : leftOut' 'return false ? exitFailure : leftOut'
mutant job/JobPlan.cpp 'std::sort(names.begin(), names.end(), naturalLess);' ';'
mutant cli/main.cpp 'plan.options = line.document;' ';'
mutant cli/ConsoleProgress.cpp '"[" + std::to_string(before_ + picture)' '"[" + std::to_string(picture)'

# The command line's option table: values after "=", names in any case,
# the exit statuses of a run that left pictures out or found none.
mutant job/CommandLine.cpp 'if (option.argument && argument.rfind(name + "=", 0) == 0) {' 'if (false) {'
mutant job/CommandLine.cpp 'valueAt = name.size() + 1;' 'valueAt = name.size();'
mutant job/CommandLine.cpp "c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;" '(void)c;'
mutant cli/main.cpp 'constexpr int exitLeftOut = 3;' 'constexpr int exitLeftOut = 0;'
mutant cli/main.cpp 'return result.skipped.empty() ? 0 : exitLeftOut;' 'return 0;'
mutant cli/ConsoleProgress.cpp 'if (!keepGoing_) {' 'if (true) {'
mutant cli/main.cpp $'shownFile(plan.folder) + "; nothing written");\n        return exitFailure;' \
    $'shownFile(plan.folder) + "; nothing written");\n        return 0;'

# A library's complaint in the user's words: a cut-off file said so.
mutant image/Decoders.cpp "c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;" '(void)c;'
mutant image/Decoders.cpp 'lower.find("premature end") != std::string::npos ||' 'false ||'
mutant image/Decoders.cpp 'lower.find("not enough") != std::string::npos ||' 'false ||'
mutant image/Decoders.cpp 'lower.find("unexpected end") != std::string::npos ||' 'false ||'
mutant image/Decoders.cpp 'lower.find("truncat") != std::string::npos ||' 'false ||'
mutant image/Decoders.cpp 'lower.find("read error") != std::string::npos ||' 'false ||'
mutant image/Decoders.cpp 'lower.find("eof") != std::string::npos;' 'false;'

# The command line's progress and summary.
mutant cli/ConsoleProgress.cpp 'if (!onTerminal_ || batch_) {' 'if (batch_) {'

# The window: its commands, refusals and close during a run, its layout,
# its words; all but the Qt chooser and progress bar without any toolkit.
mutant ui/shared/Form1.cpp 'runCommand(&FolderJob::moveUp);' 'runCommand(&FolderJob::moveDown);'
mutant ui/shared/Form1.cpp $'job_->requestStop();\n        }\n        return false;' \
    $'job_->requestStop();\n        }'
mutant ui/shared/StatusProgress.cpp 'statusWindow->setProgressPos(pos);' ';'
mutant ui/qt/QtWindow.cpp 'progressBar_->setValue(position);' ';'
mutant ui/shared/Form1.cpp $'    if (running_ || !job_) {\n        return;\n    }\n    running_ = true;' \
    $'    if (!job_) {\n        return;\n    }\n    running_ = true;'
harmless 'the job refuses every command during a run itself; the window only spares the call'
mutant ui/shared/Form1.cpp 'if (!closePending_) {' 'if (true) {'
mutant ui/shared/Form1.cpp 'reportError(error, command);' 'reportError(error, command); return;'
mutant ui/shared/Form1.cpp 'if (closePending_) {' 'if (false) {'
mutant ui/shared/Form1.cpp 'runCommand(&FolderJob::moveDown);' 'runCommand(&FolderJob::moveUp);'
mutant ui/shared/WindowDesign.cpp 'std::max(0, pixelsToTwips(client.height, dpi) - listHeightLessTwips)' \
    'pixelsToTwips(client.height, dpi) - listHeightLessTwips'
mutant ui/shared/WindowDesign.cpp '? (product + half) / divisor' '? product / divisor'
mutant ui/shared/StatusProgress.cpp 'checkedInt32(std::int64_t{r.bottom} - 3)' \
    'checkedInt32(std::int64_t{r.bottom} - r.top - 3)'
mutant ui/shared/StatusProgress.cpp 'edges.back() = -1;' ';'
mutant ui/shared/StatusProgress.cpp 'if (statusWindow == nullptr || part < 0 || part > lastPart) {' \
    'if (statusWindow == nullptr || part < 0) {'
mutant ui/shared/Captions.cpp 'byte ^= captionKey;' 'byte ^= captionKey ^ 1;'
mutant ui/qt/BrowseDirectorysOnly.cpp 'dialog.selectFile(start.absoluteFilePath());' ';'
mutant common/Path.cpp 'if (at == 0 || statusText[at - 1] ==' 'if (true || statusText[at - 1] =='
# The window at the desk: entries taken off, drops, the remembered folder,
# 生成's menu, the status bar at other resolutions.
mutant job/FolderJob.cpp 'if (!std::binary_search(rows.begin(), rows.end(), k)) {' 'if (k != rows.front()) {'
mutant job/FolderJob.cpp 'std::sort(names.begin(), names.end(), naturalLess);' ';'
mutant ui/shared/Form1.cpp '!remembered.empty() && isFolder(remembered) ? remembered : std::string()' \
    'std::string()'
mutant ui/shared/Form1.cpp 'if (paths.size() == 1 && isFolder(paths.front())) {' 'if (false) {'
mutant ui/shared/Form1.cpp 'compression_ = choice - paperChoices_.size();' \
    'compression_ = choice - paperChoices_.size() + 1;'
mutant ui/shared/Form1.cpp 'if (paper_ != 0 || compression_ != 0 || color_ != 0 || !maxSize_.empty()) {' \
    'if (false) {'
mutant ui/shared/Form1.cpp 'if (std::find(selected.begin(), selected.end(), row) == selected.end()) {' \
    'if (false) {'
mutant ui/shared/Form1.cpp 'job.insertPictures(paths, row);' 'job.insertPictures(paths, 0);'
mutant ui/shared/StatusProgress.cpp 'twipsToPixels(pixelsToTwips(table[i][0], 96), dpi)' 'table[i][0]'
mutant common/Error.cpp $'case EACCES:' $'case EACCES + 1000:'

# ---------------------------------------------------------------------------
# How often ORIGINAL occurs in the text of FILE (relative to $2).
occurrences() {
    local text rest
    text=$(cat "$1" && printf x) || return 1
    rest=${text//"$2"/}
    echo $(((${#text} - ${#rest}) / ${#2}))
}

# FILE with its ORIGINAL replaced once by REPLACEMENT.
apply() {
    local text
    text=$(cat "$1" && printf x)
    text=${text%x}
    printf '%s' "${text/"$2"/"$3"}" >"$1"
}

count=${#files[@]}
bad=0
for ((i = 0; i < count; ++i)); do
    n=$(occurrences "$root/${files[i]}" "${originals[i]}") || n=0
    if [ "$n" != 1 ]; then
        echo "mutant $((i + 1)): ${files[i]}: anchor found $n times: ${originals[i]}" >&2
        bad=1
    fi
done
if [ "${1:-}" = --check ]; then
    [ $bad = 0 ] && echo "$count anchors, each found once"
    exit $bad
fi
[ $bad = 0 ] || exit 1

selected=()
if [ $# -gt 0 ]; then
    selected=("$@")
else
    for ((i = 1; i <= count; ++i)); do selected+=("$i"); done
fi

scratch=${MUTATE_DIR:-/tmp/folder2pdf-mutate}
src=$scratch/src
build=$scratch/build
mkdir -p "$src"

# Copies the tree into the scratch copy, touching only files that differ, so
# the build there stays incremental, and removes what the tree no longer has.
sync_tree() {
    (cd "$src" && find . -type f -printf '%P\n') | while IFS= read -r file; do
        [ -e "$root/$file" ] || rm -f "$src/$file"
    done
    (cd "$root" && git ls-files -co --exclude-standard) | while IFS= read -r file; do
        [ -f "$root/$file" ] || continue
        if ! cmp -s "$root/$file" "$src/$file"; then
            mkdir -p "$(dirname "$src/$file")"
            cp "$root/$file" "$src/$file"
        fi
    done
}

build_tree() {
    nice -n 10 cmake --build "$build" >"$scratch/build.log" 2>&1
}

# Failing tests of the scratch build, one name a line; empty when all pass.
failing_tests() {
    timeout 900 ctest --test-dir "$build" -j2 --timeout 30 >"$scratch/test.log" 2>&1
    sed -n '/The following tests FAILED/,$ s/^[[:space:]]*[0-9]* - \([^ ]*\) .*/\1/p' \
        "$scratch/test.log"
    grep -q 'tests passed' "$scratch/test.log" || echo '(ctest did not finish)'
}

started=$(date +%s)
sync_tree
# A toolkit only when a selected mutant is in one: its links and tests would
# double the time of every other mutant's build and run. The window's design
# and behaviour are built and tested without one.
gui=OFF
for number in "${selected[@]}"; do
    case ${files[number - 1]} in ui/qt/* | ui/win32/*) gui=ON ;; esac
done
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOLDER2PDF_GUI=$gui \
    -DFOLDER2PDF_BENCH=OFF >"$scratch/configure.log" 2>&1 ||
    { echo "cannot configure the scratch copy: $scratch/configure.log" >&2; exit 1; }
if ! build_tree; then
    echo "the unchanged tree does not build: $scratch/build.log" >&2
    exit 1
fi
baseline=$(failing_tests)
if [ -n "$baseline" ]; then
    echo "the unchanged tree fails tests:" $baseline >&2
    exit 1
fi

killed=0 survived=0 expected=0 stillborn=0
for number in "${selected[@]}"; do
    i=$((number - 1))
    file=${files[i]}
    label="mutant $number: $file: ${originals[i]//$'\n'/ } -> ${replacements[i]//$'\n'/ }"
    apply "$src/$file" "${originals[i]}" "${replacements[i]}"
    if ! build_tree; then
        echo "$label: stillborn"
        stillborn=$((stillborn + 1))
    else
        failed=$(failing_tests | tr '\n' ' ')
        if [ -n "$failed" ]; then
            echo "$label: killed by $failed"
            killed=$((killed + 1))
        elif [ -n "${reasons[i]}" ]; then
            echo "$label: survived, harmless: ${reasons[i]}"
            expected=$((expected + 1))
        else
            echo "$label: SURVIVED"
            survived=$((survived + 1))
        fi
    fi
    # A fresh copy (new modification time) so that the next build
    # recompiles the original.
    cp "$root/$file" "$src/$file"
done
build_tree
echo "$stillborn stillborn, $expected of the survivors harmless, $(($(date +%s) - started)) s"
echo "$killed killed, $((survived + expected)) survived"
