// The files a run writes, checked before it writes any: none of them may be a file the
// run reads or another of its outputs, and each must have a folder that takes it.
#include <dirent.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/run_options.h"
#include "base/file_access.h"
#include "interpreter/stream_listing.h"
#include "mechanism/print_head.h"
#include "ribbon/strike_store.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t pageNumberDigits = 3;  // page numbers have at least this many digits
constexpr const char *pageSuffix = ".png";

// A file the run reads or writes, by the name the user gave and the role it plays.
struct RunFile {
  const char *role;    // "the input file", "the PDF document", ...
  std::string name;    // as given
  FileIdentity identity;
  std::string entry;   // the folder resolved and the last part as given: the name a
                       //   file written there replaces, link or not
};

// The folders of the run's files by the name given, each looked up once: most are in
// one folder.
using KnownFolders = std::vector<std::pair<std::string, FileIdentity>>;

FileIdentity folderIdentity(KnownFolders &known, const std::string &folder) {
  for (const auto &[name, identity] : known)
    if (name == folder) return identity;
  known.emplace_back(folder, identify(folder));
  return known.back().second;
}

RunFile runFile(const char *role, const std::string &name, KnownFolders &known) {
  fs::path given(name);
  FileIdentity folder =
      folderIdentity(known, given.has_parent_path() ? given.parent_path().string() : std::string("."));
  return RunFile{role, name, identify(name, &folder), (fs::path(folder.path) / given.filename()).string()};
}

// Where page files go: the folder of the prefix, resolved, and the rest of the prefix.
struct PagePattern {
  std::string folder;  // resolved; empty when no page files are written
  std::string given;   // the folder as the prefix gives it; empty for the working folder
  std::string stem;    // the prefix's last part; pages are "<stem>-NNN.png"
};

// Whether a file name (no folder) is one of the pattern's page files: "<stem>-" and a
// page number the run could give (001 to 999, then 1000 and up) and ".png".
bool isPageFileName(const PagePattern &pattern, const std::string &file) {
  std::string head = pattern.stem + "-";
  size_t suffix = std::string(pageSuffix).size();
  if (file.size() < head.size() + pageNumberDigits + suffix || file.compare(0, head.size(), head) != 0 ||
      file.compare(file.size() - suffix, suffix, pageSuffix) != 0)
    return false;
  std::string digits = file.substr(head.size(), file.size() - head.size() - suffix);
  for (char c : digits)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  if (digits.size() > pageNumberDigits && digits[0] == '0') return false;
  return digits.find_first_not_of('0') != std::string::npos;
}

// Whether the path, resolved, is one of the pattern's page files.
bool isPageFile(const PagePattern &pattern, const std::string &path) {
  if (pattern.folder.empty()) return false;
  fs::path resolved(path);
  return resolved.parent_path().string() == pattern.folder && isPageFileName(pattern, resolved.filename().string());
}

PagePattern pagePattern(const std::string &prefix) {
  fs::path given(prefix);
  std::string folder = given.has_parent_path() ? given.parent_path().string() : std::string(".");
  return PagePattern{identify(folder).path, given.parent_path().string(), given.filename().string()};
}

[[noreturn]] void refuse(const RunFile &output, const std::string &what) {
  throw FileError("tambrix: " + std::string(output.role) + " `" + output.name + "' is " + what);
}

// Refuses an output that is the other file.
void refuseCollision(const RunFile &output, const RunFile &other) {
  if (sameFile(output.identity, other.identity) || output.entry == other.entry) refuse(output, other.role);
}

// Whether the file is one of the page files of the pattern, by either of its names.
bool onPagePattern(const PagePattern &pattern, const RunFile &file) {
  return isPageFile(pattern, file.identity.path) || isPageFile(pattern, file.entry);
}

// Refuses an existing page file of the pattern that is the same file as one the run
// reads, under another name (a link).
void refuseLinkedPages(const PagePattern &pattern, const std::vector<RunFile> &read, KnownFolders &known) {
  DIR *folder = opendir(pattern.folder.c_str());
  if (folder == nullptr) return;
  std::vector<std::string> pages;
  while (struct dirent *entry = readdir(folder))
    if (isPageFileName(pattern, entry->d_name)) pages.push_back(entry->d_name);
  closedir(folder);
  for (const std::string &page : pages) {
    RunFile pageFile = runFile("the page file", (fs::path(pattern.given) / page).string(), known);
    for (const RunFile &file : read) refuseCollision(pageFile, file);
  }
}

}  // namespace

void checkOutputFiles(const RunSettings &settings, const std::string &inputName, const std::string &romName) {
  KnownFolders known;
  std::vector<RunFile> read;  // files the run reads and must not destroy
  if (!inputName.empty()) read.push_back(runFile("the input file", inputName, known));
  if (!romName.empty()) read.push_back(runFile("the character ROM in use", romName, known));
  RunFile store = runFile("the strike store", strikeStoreName, known);
  std::vector<RunFile> written;  // the documents, in the order they are checked
  if (!settings.pdfName.empty()) written.push_back(runFile("the PDF document", settings.pdfName, known));
  if (!settings.textName.empty()) written.push_back(runFile("the text transcript", settings.textName, known));
  if (!settings.explainName.empty() && settings.explainName != standardOutputName)
    written.push_back(runFile("the stream listing", settings.explainName, known));
  PagePattern pages = settings.pageFiles ? pagePattern(settings.outputPrefix) : PagePattern{};
  for (size_t i = 0; i < written.size(); ++i) {
    for (const RunFile &file : read) refuseCollision(written[i], file);
    refuseCollision(written[i], store);
    for (size_t j = 0; j < i; ++j) refuseCollision(written[i], written[j]);
    if (onPagePattern(pages, written[i])) refuse(written[i], "a page file of this run");
  }
  for (const RunFile &file : read) refuseCollision(store, file);
  read.push_back(store);
  for (const RunFile &file : read)
    if (onPagePattern(pages, file)) refuse(RunFile{"the page file", file.name, {}, {}}, file.role);
  if (!pages.folder.empty()) refuseLinkedPages(pages, read, known);
}

void checkDestinations(const RunSettings &settings) {
  if (!settings.pdfName.empty())
    if (int error = checkWritable(settings.pdfName); error != 0) throw writeError("PDF document", settings.pdfName, error);
  if (!settings.textName.empty())
    if (int error = checkWritable(settings.textName); error != 0)
      throw writeError("text transcript", settings.textName, error);
  if (settings.pageFiles) {
    std::string first = pageFileName(settings.outputPrefix, 1);
    if (int error = checkWritable(first); error != 0) throw writeError("page file", first, error);
  }
}
