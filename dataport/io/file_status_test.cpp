#include "dataport/io/file_status.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace dataport::io {
namespace {

namespace fs = std::filesystem;

class FileStatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "file_status_test.XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    std::ofstream(path("f")) << "abc";
    fs::create_directory(path("d"));
    fs::create_symlink(path("f"), path("link"));
    fs::create_symlink(path("none"), path("dangling"));
    fs::create_hard_link(path("f"), path("hard"));
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(FileStatusTest, KindsFollowLinksButEntryKindDoesNot) {
  struct Case {
    const char* name;
    FileKind kind;
    FileKind entry;
  };
  for (const Case& c : {Case{"f", FileKind::Regular, FileKind::Regular},
                        Case{"d", FileKind::Directory, FileKind::Directory},
                        Case{"link", FileKind::Regular, FileKind::Other},
                        Case{"dangling", FileKind::Missing, FileKind::Other},
                        Case{"none", FileKind::Missing, FileKind::Missing}}) {
    EXPECT_EQ(fileStatus(path(c.name)).kind, c.kind) << c.name;
    EXPECT_EQ(entryKind(path(c.name)), c.entry) << c.name;
  }
  EXPECT_EQ(fileStatus(path("f")).size, 3);
  EXPECT_EQ(fileStatus(path("none")).error, missingError());
}

TEST_F(FileStatusTest, LinksShareTheFileIdButNotTheEntry) {
  const FileId id = fileStatus(path("f")).id;
  EXPECT_EQ(fileStatus(path("link")).id, id);
  EXPECT_EQ(fileStatus(path("hard")).id, id);
  EXPECT_NE(fileStatus(path("d")).id, id);
  EXPECT_TRUE(sameEntry(path("f"), (dir_ / "d" / ".." / "f").string()));
  EXPECT_FALSE(sameEntry(path("f"), path("hard")));
  EXPECT_FALSE(sameEntry(path("f"), path("link")));
}

TEST_F(FileStatusTest, CreateNewRefusesEveryExistingNameAndRemoveTakesTheLinkOnly) {
  EXPECT_EQ(createNew(path("f")), EEXIST);
  EXPECT_EQ(createNew(path("dangling")), EEXIST) << "a dangling link is not followed";
  EXPECT_FALSE(fs::exists(path("none")));
  EXPECT_EQ(removeEntry(path("link")), 0);
  EXPECT_EQ(fileStatus(path("f")).size, 3);
  EXPECT_EQ(createNew(path("link")), 0);
  EXPECT_EQ(fileStatus(path("link")).size, 0);
  EXPECT_EQ(removeEntry(path("gone")), missingError());
  EXPECT_EQ(errorText(isDirectoryError()), "Is a directory");
}

}  // namespace
}  // namespace dataport::io
