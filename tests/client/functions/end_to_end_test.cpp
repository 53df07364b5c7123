// Set, get, show and delete sequences against the stand-in service.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include <vorxlabelmgr/labelmgr_client.h>

#include "functions_test.h"

using familytest::Streams;

namespace {

class EndToEnd : public vorxtest::LabelMgrServiceTest {};

TEST_F(EndToEnd, PackageIdSetQueryShowDelete)
{
    ASSERT_EQ(0, setPkgId("pkg.b", 2));
    ASSERT_EQ(0, setPkgId("pkg.a", 1));
    uint64_t id = 0;
    EXPECT_EQ(0, queryUserSetPkgId("pkg.a", &id));
    EXPECT_EQ(1u, id);
    const char* names[] = {"pkg.b", "nope", "pkg.a"};
    uint64_t ids[3] = {};
    EXPECT_EQ(3, getPkgIds(names, 3, ids));
    EXPECT_EQ(2u, ids[0]);
    EXPECT_EQ(UINT64_MAX, ids[1]);
    EXPECT_EQ(1u, ids[2]);

    USER_SET_ITEM* out = nullptr;
    ASSERT_EQ(2, showUserSetPkgId(&out));
    EXPECT_STREQ("pkg.a", out[0].name);
    EXPECT_STREQ("pkg.b", out[1].name);
    EXPECT_EQ(2u, out[1].id.pkg_id);
    std::free(out);

    EXPECT_EQ(0, delUserSetPkgId("pkg.a"));
    id = 77;
    EXPECT_EQ(1, queryUserSetPkgId("pkg.a", &id));
    EXPECT_EQ(77u, id);
    EXPECT_EQ(-1, delUserSetPkgId("pkg.a"));
    EXPECT_EQ(0, clearUserSetPkgId());
    out = nullptr;
    EXPECT_EQ(0, showUserSetPkgId(&out));
    EXPECT_EQ(nullptr, out);
}

TEST_F(EndToEnd, FileIdsSetGetQueryDelete)
{
    ASSERT_EQ(0, setFileOid("/opt/app/bin", VORX_ID{1, 2, 3}, 0));
    ASSERT_EQ(0, setFileSid("/opt/app/bin", VORX_ID{4, 5, 6}, 0));
    VORX_ID id{};
    EXPECT_EQ(0, getFileOid("/opt/app/bin", &id));
    EXPECT_EQ(2u, id.file_id);
    EXPECT_EQ(0, getFileSid("/opt/app/bin", &id));
    EXPECT_EQ(6u, id.path_id);

    USER_SET_ITEM* out = nullptr;
    EXPECT_EQ(0, queryUserSetFileOid("/opt/app", &out, 0));  // the directory alone has no entry
    ASSERT_EQ(1, queryUserSetFileOid("/opt/app", &out, 1));
    EXPECT_STREQ("/opt/app/bin", out[0].name);
    EXPECT_EQ(3u, out[0].id.path_id);
    std::free(out);

    EXPECT_EQ(0, delFileOid("/opt/app/bin", 0));
    EXPECT_EQ(-1, getFileOid("/opt/app/bin", &id));  // the service's all-ones answer
    EXPECT_EQ(0u, id.pkg_id);
    EXPECT_EQ(-1, delFileOid("/opt/app/bin", 0));
    EXPECT_EQ(0, clearFileSid());
    EXPECT_EQ(-1, getFileSid("/opt/app/bin", &id));
}

TEST_F(EndToEnd, TidsAndInheritFlagsSetGetShowClear)
{
    EXPECT_EQ(-1, setFileTid("/srv/a", 0, 0));
    ASSERT_EQ(0, setFileTid("/srv/a", 7, 0));
    ASSERT_EQ(0, setFileInheritFlag("/srv/a", 0, 0));
    uint32_t v = 99;
    EXPECT_EQ(0, getFileTid("/srv/a", &v));
    EXPECT_EQ(7u, v);
    EXPECT_EQ(0, getFileInheritFlag("/srv/a", &v));
    EXPECT_EQ(0u, v);
    USER_SET_ITEM* out = nullptr;
    ASSERT_EQ(1, showUserSetFileTid(&out));
    EXPECT_STREQ("/srv/a", out[0].name);
    EXPECT_EQ(7u, out[0].id.pkg_id);
    std::free(out);
    EXPECT_EQ(0, clearFileTid());
    EXPECT_EQ(-1, getFileTid("/srv/a", &v));
    EXPECT_EQ(UINT32_MAX, v);
    EXPECT_EQ(0, delFileInheritFlag("/srv/a", 0));
    EXPECT_EQ(-1, getFileInheritFlag("/srv/a", &v));
}

TEST_F(EndToEnd, LabellingNeedsAKnownPackageAndTheRestPassesThrough)
{
    Streams streams;
    const char* files[] = {"/opt/app/bin"};
    EXPECT_EQ(-2, setLabelForPkg(files, 1, "pkg.app"));
    ASSERT_EQ(0, setPkgId("pkg.app", 9));
    EXPECT_EQ(0, setLabelForPkg(files, 1, "pkg.app"));
    EXPECT_EQ(0, getLabelSetStatus());
    EXPECT_EQ("restored the label of /opt/app/bin", restoreSingleFileLabel("/opt/app/bin"));
    // SM3("abc"), the standard's own test vector.
    EXPECT_EQ("66c7f0f462eeedd9d1f2d46bdc10e4e24167c4875cf2f7a2297da02b8f4ba8e0", getPathSm3HashValue("abc"));
    unsigned long oid = 0;
    EXPECT_EQ(0, getDeviceOid("sda", &oid));
    std::map<std::string, VORX_ID> oids;
    EXPECT_EQ(0, getDeviceOids({"sda"}, oids));
    EXPECT_EQ(oid, oids["sda"].pkg_id);
    addTagFullSystem("/opt/app", {"t"});
    EXPECT_EQ(
        "sda"
        "oid: " +
            [&] {
                std::ostringstream os;
                os << std::hex << oid;
                return os.str();
            }() +
            "\n/opt/app addTagFullSystem: 0\n",
        streams.out());
    EXPECT_EQ("", streams.err());
}

}  // namespace
