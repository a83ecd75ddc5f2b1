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
#include <vector>
#include <iterator>

namespace fs = std::filesystem;

namespace {

const char *const productFolders[] = {"app", "base", "stream", "interpreter", "escp", "mechanism", "output", "ribbon"};

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
  const std::set<std::string> beforeOrAfterMechanism = {"app", "stream", "interpreter", "escp", "output"};
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

namespace {

// The text with comments, string and character literals blanked out, so that what
// is left is code alone.
std::string codeOnly(const std::string &text) {
  std::string code = text;
  for (size_t i = 0; i < code.size(); ++i) {
    if (code.compare(i, 2, "//") == 0) {
      for (; i < code.size() && code[i] != '\n'; ++i) code[i] = ' ';
    } else if (code.compare(i, 2, "/*") == 0) {
      size_t end = code.find("*/", i + 2);
      end = end == std::string::npos ? code.size() : end + 2;
      for (; i < end; ++i)
        if (code[i] != '\n') code[i] = ' ';
      --i;
    } else if (code[i] == '"' || code[i] == '\'') {
      char quote = code[i];
      for (++i; i < code.size() && code[i] != quote; ++i) {
        if (code[i] == '\\') code[i++] = ' ';
        code[i] = ' ';
      }
    } else if (code[i] == '#') {  // a preprocessor line
      for (; i < code.size() && code[i] != '\n'; ++i) code[i] = ' ';
    }
  }
  return code;
}

// Whether a declaration declares something that cannot change: constexpr, or const
// in itself (a pointer's own const comes after its last star).
bool constant(const std::string &declaration) {
  static const std::regex constexprWord("\\bconstexpr\\b");
  if (std::regex_search(declaration, constexprWord)) return true;
  std::string head = declaration.substr(0, declaration.find('='));
  size_t star = head.rfind('*');
  static const std::regex constWord("\\bconst\\b");
  return std::regex_search(star == std::string::npos ? head : head.substr(star), constWord);
}

// The declarations of mutable variables in the code: at file or namespace scope, or
// static (or thread_local) inside a function.
std::vector<std::string> mutableVariables(const std::string &code) {
  enum class Block { Namespace, Type, Function, Initializer };
  std::vector<Block> blocks;
  std::vector<std::string> found;
  std::string statement;
  static const std::regex namespaceWord("\\bnamespace\\b"), typeWord("\\b(struct|class|union|enum)\\b");
  static const std::regex notVariable("^\\s*(using|typedef|template|friend|return|extern\\s+\"|struct|class|union|enum)\\b");
  static const std::regex staticWord("^\\s*(static|thread_local)\\b");
  auto inFunction = [&] {
    for (Block block : blocks)
      if (block == Block::Function) return true;
    return false;
  };
  auto atNamespaceScope = [&] {
    for (Block block : blocks)
      if (block != Block::Namespace) return false;
    return true;
  };
  for (char c : code) {
    if (c == '{') {
      std::string before = statement;
      size_t last = before.find_last_not_of(" \t\n");
      char previous = last == std::string::npos ? ' ' : before[last];
      Block block = std::regex_search(before, namespaceWord) && before.find('=') == std::string::npos ? Block::Namespace
                    : std::regex_search(before, typeWord) && before.find('=') == std::string::npos ? Block::Type
                    : previous == ')' || std::regex_search(before, std::regex("\\)\\s*(const|noexcept|override|->.*)\\s*$"))
                        ? Block::Function
                        : Block::Initializer;
      blocks.push_back(block);
      if (block == Block::Initializer) {
        statement += c;
      } else {
        statement.clear();
      }
      continue;
    }
    if (c == '}') {
      Block block = blocks.empty() ? Block::Namespace : blocks.back();
      if (!blocks.empty()) blocks.pop_back();
      if (block == Block::Initializer)
        statement += c;
      else
        statement.clear();
      continue;
    }
    if (!blocks.empty() && blocks.back() == Block::Initializer) {
      statement += c;
      continue;
    }
    if (c != ';') {
      statement += c;
      continue;
    }
    bool declaresHere = atNamespaceScope() ? !std::regex_search(statement, notVariable) &&
                                                 statement.find('(') == std::string::npos &&
                                                 statement.find_first_not_of(" \t\n") != std::string::npos
                                           : inFunction() && std::regex_search(statement, staticWord);
    if (declaresHere && !constant(statement)) found.push_back(statement);
    statement.clear();
  }
  return found;
}

// The name a declaration declares: its last word before an initializer or a size.
std::string declaredName(const std::string &declaration) {
  std::string head = declaration.substr(0, declaration.find_first_of("={["));
  static const std::regex lastWord("([A-Za-z_][A-Za-z0-9_]*)\\s*$");
  std::smatch match;
  return std::regex_search(head, match, lastWord) ? match[1].str() : std::string();
}

// The state the output side keeps outside its records, by nature: by file, the names
// it may declare.
struct AllowedState {
  const char *file;  // the file's name in output/
  const char *name;  // the variable's
};
const AllowedState allowedOutputState[] = {
    // The encoder processes and what they were forked for: the program's, not a run's.
    {"encoder_process.cpp", "processes"},
    {"encoder_process.cpp", "rasterWidth"},
    {"encoder_process.cpp", "rasterHeight"},
    {"encoder_process.cpp", "kept"},
    // Each encoding thread's own image.
    {"page_image.cpp", "threadImage"},
};

bool allowedState(const fs::path &path, const std::string &declaration) {
  if (path.parent_path().filename() != "output") return false;
  for (const AllowedState &allowed : allowedOutputState)
    if (path.filename() == allowed.file && declaredName(declaration) == allowed.name) return true;
  return false;
}

}  // namespace

// The printing core and the output side keep a run's state in the records their
// caller passes, never in variables of their own: no mutable variable at file or
// namespace scope, and no static one inside a function; but for the output's encoder
// processes and each encoding thread's image, which are not a run's.
TEST(Layout, ThePrintingCoreKeepsNoHiddenState) {
  // The checker itself, on code of every kind it must tell apart.
  const std::string sample =
      "namespace {\nint count;\nconstexpr int limit = 4;\nstatic const char *const names[2] = {\"a\", \"b\"};\n"
      "const char *name = \"x\";\nstruct Record { int field; };\nvoid f(int x) { static int calls; int local = x; }\n"
      "std::vector<int> list{1, 2};\nint g();\nusing Alias = int;\n}\n";
  std::vector<std::string> seen = mutableVariables(codeOnly(sample));
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_NE(seen[0].find("count"), std::string::npos);
  EXPECT_NE(seen[1].find("name"), std::string::npos);
  EXPECT_NE(seen[2].find("calls"), std::string::npos);
  EXPECT_NE(seen[3].find("list"), std::string::npos);

  EXPECT_EQ(declaredName("\nstd::vector<Process> processes"), "processes");
  EXPECT_EQ(declaredName("\nthread_local Image threadImage"), "threadImage");
  EXPECT_EQ(declaredName("\nunsigned width = 0"), "width");
  EXPECT_EQ(declaredName("\nchar names[4]"), "names");
  EXPECT_TRUE(allowedState(fs::path("x/output/page_image.cpp"), "thread_local EncoderImage threadImage"));
  EXPECT_FALSE(allowedState(fs::path("x/output/transcript.cpp"), "thread_local EncoderImage threadImage"));
  EXPECT_FALSE(allowedState(fs::path("x/output/page_image.cpp"), "EncoderImage otherImage"));

  for (const char *folder : {"stream", "interpreter", "escp", "mechanism", "ribbon", "embed", "output"})
    for (auto &entry : fs::directory_iterator(fs::path(SOURCE_DIR) / folder)) {
      std::string extension = entry.path().extension().string();
      if (extension != ".h" && extension != ".cpp") continue;
      std::ifstream file(entry.path());
      std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
      for (const std::string &declaration : mutableVariables(codeOnly(text)))
        if (!allowedState(entry.path(), declaration))
          ADD_FAILURE() << entry.path().string() << " keeps state of its own: `" << declaration.substr(declaration.find_first_not_of(" \t\n")) << "'";
    }
}
