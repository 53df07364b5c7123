// The user-set arrays as a C program walks them: 4120-byte records, name at
// offset 0 and the ids at 4096, in byte order of the keys, freed with free().
#include <string>

#include <gtest/gtest.h>

#include <vorxlabelmgr/labelmgr_client.h>

#include "c_caller.h"
#include "functions_test.h"

using familytest::FamilyTest;

namespace {

class CCaller : public FamilyTest {};

TEST(CCallerPrototypes, EveryCLinkageFunctionHasItsPrototype)
{
    EXPECT_EQ(32, c_prototype_count());
}

TEST_F(CCaller, ShowAndQueryArraysWalkInByteOrderOfKeys)
{
    const std::string longKey(4096, 'k');
    // Wire order is scrambled; 0x7f and "é" (0xc3 0xa9) sort after ASCII as unsigned bytes.
    struct Family {
        const char* show;
        const char* query;  // nullptr for the package family
        const char* signature;
        std::string answer;
        bool idDict;
    } families[] = {
        {"showUserSetPkgId", nullptr, "a{st}",
         R"({"/usr/b": 1, "\xc3\xa9": 5, "/usr/a/x": 2, "": 6, "/usr/a": 3, "/USR": 4, ")" + longKey + R"(": 7})",
         false},
        {"showUserSetFileOid", "queryUserSetFileOid", "a{sa{st}}",
         R"({"/usr/b": {"pkg_id": 1, "file_id": 11, "path_id": 21}, "\xc3\xa9": {"pkg_id": 5, "file_id": 15, "path_id": 25},)"
         R"( "/usr/a/x": {"pkg_id": 2, "file_id": 12, "path_id": 22}, "": {"pkg_id": 6, "file_id": 16, "path_id": 26},)"
         R"( "/usr/a": {"pkg_id": 3, "file_id": 13, "path_id": 23}, "/USR": {"pkg_id": 4, "file_id": 14, "path_id": 24}, ")" +
             longKey + R"(": {"pkg_id": 7, "file_id": 17, "path_id": 27}})",
         true},
        {"showUserSetFileSid", "queryUserSetFileSid", "a{sa{st}}", "", true},
        {"showUserSetFileTid", "queryUserSetFileTid", "a{su}", "", false},
        {"showUserSetFileInheritFlag", "queryUserSetFileInheritFlag", "a{su}", "", false},
    };
    families[2].answer = families[1].answer;
    families[3].answer = families[4].answer = families[0].answer;
    // Expected order: "", "/USR", "/usr/a", "/usr/a/x", "/usr/b", "kkk...", "é".
    const char* names[] = {"", "/USR", "/usr/a", "/usr/a/x", "/usr/b", "", "\xc3\xa9"};
    const size_t nameLens[] = {0, 4, 6, 8, 6, 0, 2};
    const uint64_t pkgIds[] = {6, 4, 3, 2, 1, 7, 5};

    for (int which = 0; which < 5; ++which) {
        const Family& f = families[which];
        for (int query = 0; query < (f.query ? 2 : 1); ++query) {
            SCOPED_TRACE(query ? f.query : f.show);
            ASSERT_TRUE(peer.reply(query ? f.query : f.show, f.signature, f.answer));
            c_record records[8] = {};
            int written = 0;
            int n = query ? c_query(which - 1, "/usr", 0, records, 8, &written) : c_show(which, records, 8, &written);
            ASSERT_EQ(7, n);
            EXPECT_TRUE(written);
            for (int i = 0; i < 7; ++i) {
                SCOPED_TRACE(i);
                EXPECT_STREQ(names[i], records[i].name);
                EXPECT_EQ(nameLens[i], records[i].name_len);
                EXPECT_EQ(pkgIds[i], records[i].pkg_id);
                if (f.idDict) {
                    EXPECT_EQ(pkgIds[i] + 10, records[i].file_id);
                    EXPECT_EQ(pkgIds[i] + 20, records[i].path_id);
                }
            }
        }
    }
}

TEST_F(CCaller, EmptyAnswerHandsOutNothing)
{
    const char* members[] = {"showUserSetPkgId", "showUserSetFileOid", "showUserSetFileSid", "showUserSetFileTid",
                             "showUserSetFileInheritFlag"};
    const char* signatures[] = {"a{st}", "a{sa{st}}", "a{sa{st}}", "a{su}", "a{su}"};
    for (int which = 0; which < 5; ++which) {
        SCOPED_TRACE(members[which]);
        ASSERT_TRUE(peer.reply(members[which], signatures[which], "{}"));
        c_record records[1];
        int written = 1;
        EXPECT_EQ(0, c_show(which, records, 1, &written));
        EXPECT_FALSE(written);
    }
}

}  // namespace
