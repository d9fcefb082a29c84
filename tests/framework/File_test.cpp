#include "tests/support/GTest.h"
#include "framework/Afx.h"
#include <string>

namespace {
std::string TempName(const char* name) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    return std::string(temp) + name + std::to_string(GetCurrentProcessId());
}
} // namespace

TEST(File, ReadsWritesSeeksAndTruncates) {
    std::string path = TempName("kfile");
    CFile f;
    ASSERT_TRUE(f.Open(path.c_str(), CFile::modeCreate | CFile::modeReadWrite | CFile::typeBinary));
    f.Write("hello world", 11);
    EXPECT_EQ(11u, f.GetLength());
    f.Seek(6, CFile::begin);
    char buf[16] = {};
    EXPECT_EQ(5u, f.Read(buf, sizeof buf));
    EXPECT_STREQ("world", buf);
    EXPECT_EQ(0u, f.Read(buf, sizeof buf)); // at the end
    f.SetLength(0);
    EXPECT_EQ(0u, f.GetLength());
    EXPECT_EQ(0u, f.GetPosition());
    f.Close();
    f.Close(); // closing twice is harmless
    DeleteFileA(path.c_str());
}

TEST(File, FailuresRaiseOrReportTheirCause) {
    CFile missing;
    CFileException error;
    EXPECT_FALSE(missing.Open("C:\\no\\such\\folder\\x.bin", CFile::modeRead, &error));
    EXPECT_EQ(CFileException::badPath, error.m_cause);

    std::string path = TempName("kro");
    CFile writer;
    ASSERT_TRUE(writer.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite));
    writer.Write("x", 1);
    writer.Close();

    CFile reader;
    ASSERT_TRUE(reader.Open(path.c_str(), CFile::modeRead));
    EXPECT_THROW(reader.Write("y", 1), CFileException);
    EXPECT_THROW(reader.Seek(-5, CFile::begin), CFileException);
    reader.Close();

    // A file held without sharing cannot be opened again.
    CFile holder, second;
    ASSERT_TRUE(holder.Open(path.c_str(), CFile::modeReadWrite | CFile::shareExclusive));
    EXPECT_FALSE(second.Open(path.c_str(), CFile::modeRead, &error));
    EXPECT_EQ(CFileException::accessDenied, error.m_cause);
    holder.Close();
    DeleteFileA(path.c_str());
}

TEST(FileFind, FindsByNameAndWildcard) {
    std::string path = TempName("kfind");
    CFile f;
    ASSERT_TRUE(f.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite));
    f.Close();
    CFileFind finder;
    EXPECT_TRUE(finder.FindFile(path.c_str()));
    EXPECT_FALSE(finder.FindFile((path + ".none").c_str()));
    DeleteFileA(path.c_str());
}

TEST(FileDialog, WalksAMultipleSelection) {
    CFileDialog dlg(TRUE, nullptr, nullptr, OFN_EXPLORER | OFN_ALLOWMULTISELECT);
    static char buffer[] = "C:\\pics\0a.png\0b c.jpg\0";
    dlg.m_ofn.lpstrFile = buffer;
    std::vector<std::string> paths;
    for (POSITION pos = dlg.GetStartPosition(); pos;)
        paths.push_back(dlg.GetNextPathName(pos));
    EXPECT_EQ((std::vector<std::string>{"C:\\pics\\a.png", "C:\\pics\\b c.jpg"}), paths);

    static char single[] = "C:\\pics\\one.png\0";
    dlg.m_ofn.lpstrFile = single;
    POSITION pos = dlg.GetStartPosition();
    EXPECT_EQ("C:\\pics\\one.png", dlg.GetNextPathName(pos));
    EXPECT_EQ(nullptr, pos);
}
