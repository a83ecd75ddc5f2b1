// The layout of the product's code: its modules include one another without loops,
// the printer mechanism includes nothing of what comes after it (the output) or before
// it (the stream, the interpreter, the program entry), and each library is included
// only where it belongs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

const char *const productFolders[] = {"app", "base", "stream", "interpreter", "mechanism", "output", "ribbon"};

// Each module ("folder/name", a header with its source) and the modules it includes.
std::map<std::string, std::set<std::string>> includeGraph(std::map<std::string, std::set<std::string>> &libraries) {
  std::map<std::string, std::set<std::string>> graph;
  const std::regex quoted("^\\s*#\\s*include\\s+\"([a-z_]+/[a-z_]+)\\.h\"");
  const std::regex angled("^\\s*#\\s*include\\s+<([^>]+)>");
  for (const char *folder : productFolders) {
    for (auto &entry : fs::directory_iterator(fs::path(SOURCE_DIR) / folder)) {
      std::string extension = entry.path().extension().string();
      if (extension != ".h" && extension != ".cpp") continue;
      std::string module = std::string(folder) + "/" + entry.path().stem().string();
      graph[module];
      std::ifstream file(entry.path());
      std::string line;
      std::smatch match;
      while (std::getline(file, line)) {
        if (std::regex_search(line, match, quoted) && match[1] != module) graph[module].insert(match[1]);
        if (std::regex_search(line, match, angled)) libraries[match[1]].insert(module);
      }
    }
  }
  return graph;
}

// A loop through module, as the path that closes it; empty when there is none.
bool findLoop(const std::map<std::string, std::set<std::string>> &graph, const std::string &module,
              std::vector<std::string> &path, std::set<std::string> &done) {
  if (done.count(module)) return false;
  for (size_t i = 0; i < path.size(); ++i)
    if (path[i] == module) {
      path.erase(path.begin(), path.begin() + std::ptrdiff_t(i));
      path.push_back(module);
      return true;
    }
  path.push_back(module);
  auto edges = graph.find(module);
  if (edges != graph.end())
    for (const std::string &next : edges->second)
      if (findLoop(graph, next, path, done)) return true;
  path.pop_back();
  done.insert(module);
  return false;
}

std::string folderOf(const std::string &module) { return module.substr(0, module.find('/')); }

}  // namespace

TEST(Layout, ModulesIncludeEachOtherWithoutLoopsAndInOneDirection) {
  std::map<std::string, std::set<std::string>> libraries;
  std::map<std::string, std::set<std::string>> graph = includeGraph(libraries);
  ASSERT_GT(graph.size(), 20u);
  std::set<std::string> done;
  for (const auto &[module, includes] : graph) {
    std::vector<std::string> path;
    if (findLoop(graph, module, path, done)) {
      std::string loop;
      for (const std::string &step : path) loop += step + " ";
      ADD_FAILURE() << "include loop: " << loop;
    }
  }
  const std::set<std::string> beforeOrAfterMechanism = {"app", "stream", "interpreter", "output"};
  for (const auto &[module, includes] : graph) {
    if (folderOf(module) != "mechanism" && folderOf(module) != "base") continue;
    for (const std::string &included : includes) {
      EXPECT_FALSE(beforeOrAfterMechanism.count(folderOf(included))) << module << " includes " << included;
      if (folderOf(module) == "base") {
        EXPECT_EQ(folderOf(included), "base") << module << " includes " << included;
      }
    }
  }
  for (const auto &[library, users] : libraries)
    for (const std::string &user : users) {
      if (library.rfind("cairo", 0) == 0) {
        EXPECT_EQ(user, "output/page_document") << library;
      }
      if (library.rfind("Magick", 0) == 0) {
        EXPECT_EQ(user, "output/page_image") << library;
      }
    }
}
