// The stand-in service keeps what callers set: what the example and the
// end-to-end tests of every client family rely on.
#include <vorxlabelmgr/labelmgr_client.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "frame_run.h"
#include "private_bus.h"

namespace {

using IdMap = std::map<std::string, uint64_t>;
using PathIdMap = std::map<std::string, IdMap>;
using ValueMap = std::map<std::string, uint32_t>;

class StandInService : public vorxtest::LabelMgrServiceTest {
protected:
    void run(const std::function<void(LabelMgrClient&)>& body)
    {
        std::string errors;
        ASSERT_EQ(vorxtest::runInFrame(body, errors), 0) << errors;
    }
};

TEST_F(StandInService, PackageIdsSetThenReadShownAndRemoved)
{
    run([](LabelMgrClient& c) {
        EXPECT_EQ(c.getPkgId("p1"), UINT64_MAX);
        EXPECT_TRUE(c.queryUserSetPkgId("p1").empty());
        EXPECT_EQ(c.setPkgId("p2", 20), 0);
        EXPECT_EQ(c.setPkgId("p1", 10), 0);
        EXPECT_EQ(c.getPkgId("p1"), 10u);
        EXPECT_EQ(c.queryUserSetPkgId("p1"), (IdMap{{"p1", 10}}));
        EXPECT_EQ(c.showUserSetPkgId(), (IdMap{{"p1", 10}, {"p2", 20}}));
        std::vector<uint64_t> ids;
        int32_t status = 0;
        c.getPkgIds({"p2", "p1"}, ids, status);
        EXPECT_EQ(ids, (std::vector<uint64_t>{20, 10}));
        EXPECT_EQ(c.delUserSetPkgId("p1"), 0);
        EXPECT_NE(c.delUserSetPkgId("p1"), 0);
        EXPECT_TRUE(c.queryUserSetPkgId("p1").empty());
        EXPECT_EQ(c.delAllUserSetPkgId(), 0);
        EXPECT_TRUE(c.showUserSetPkgId().empty());
    });
}

TEST_F(StandInService, FileIdsByPathWithOptionReachingBelowIt)
{
    run([](LabelMgrClient& c) {
        const IdMap none{{"file_id", UINT64_MAX}, {"path_id", UINT64_MAX}, {"pkg_id", UINT64_MAX}};
        EXPECT_EQ(c.getFileOid("/d/a"), none);
        EXPECT_EQ(c.setFileOid("/d/a", {{"pkg_id", 1}, {"file_id", 2}, {"path_id", 3}}, 0), 0);
        EXPECT_EQ(c.setFileOid("/d/b", {{"pkg_id", 4}, {"file_id", 5}, {"path_id", 6}}, 0), 0);
        EXPECT_EQ(c.getFileOid("/d/a"), (IdMap{{"file_id", 2}, {"path_id", 3}, {"pkg_id", 1}}));
        EXPECT_EQ(c.getFileSid("/d/a"), none);  // the families are apart
        EXPECT_EQ(c.queryUserSetFileOid("/d", 0).size(), 0u);
        EXPECT_EQ(c.queryUserSetFileOid("/d", 1).size(), 2u);
        EXPECT_EQ(c.showUserSetFileOid().size(), 2u);
        EXPECT_EQ(c.delUserSetFileOid("/d/a", 0), 0);
        EXPECT_EQ(c.delUserSetFileOid("/d/a", 0), -1);
        EXPECT_EQ(c.showUserSetFileOid(), (PathIdMap{{"/d/b", {{"file_id", 5}, {"path_id", 6}, {"pkg_id", 4}}}}));
        EXPECT_EQ(c.delAllUserSetFileOid(), 0);
        EXPECT_TRUE(c.showUserSetFileOid().empty());
    });
}

TEST_F(StandInService, TidsAndInheritFlags)
{
    run([](LabelMgrClient& c) {
        EXPECT_EQ(c.getFileTid("/f"), UINT32_MAX);
        EXPECT_EQ(c.setFileTid("/f", 7, 0), 0);
        EXPECT_EQ(c.setFileInheritFlag("/f", 0, 0), 0);
        EXPECT_EQ(c.getFileTid("/f"), 7u);
        EXPECT_EQ(c.getFileInheritFlag("/f"), 0u);
        EXPECT_EQ(c.queryUserSetFileTid("/f", 0), (ValueMap{{"/f", 7}}));
        EXPECT_EQ(c.delUserSetFileInheritFlag("/f", 0), 0);
        EXPECT_TRUE(c.showUserSetFileInheritFlag().empty());
        EXPECT_EQ(c.delAllUserSetFileTid(), 0);
        EXPECT_EQ(c.getFileTid("/f"), UINT32_MAX);
    });
}

TEST_F(StandInService, DerivedAndPassThroughAnswers)
{
    run([](LabelMgrClient& c) {
        uint64_t dev = c.getDeviceOid("/dev/sda");
        EXPECT_NE(dev, UINT64_MAX);
        EXPECT_EQ(c.getDeviceOid("/dev/sda"), dev);
        EXPECT_EQ(c.getDeviceOid(""), UINT64_MAX);
        EXPECT_EQ(c.getDeviceOids({"/dev/sda", "/dev/sdb"}).at("/dev/sda"), dev);
        EXPECT_NE(c.getKernelModuleOid("ext4"), UINT64_MAX);
        EXPECT_EQ(c.getKernelModuleOids({"ext4"}).size(), 1u);
        EXPECT_EQ(c.setLabelForPkg({"/a"}, "unknown"), -1);
        EXPECT_EQ(c.setPkgId("known", 1), 0);
        EXPECT_EQ(c.setLabelForPkg({"/a"}, "known"), 0);
        EXPECT_EQ(c.addTagFullSystem("/a", {"t1"}), 0);
        EXPECT_EQ(c.getLabelSetStatus(), 0);
        // SM3 of "abc", the standard's own example.
        EXPECT_EQ(c.getPathSm3HashValue("abc"), "66c7f0f462eeedd9d1f2d46bdc10e4e24167c4875cf2f7a2297da02b8f4ba8e0");
        EXPECT_FALSE(c.restoreSingleFileLabel("/a").empty());
        auto parsed = c.policies_parse({{"subject_pkg", {"p"}}});
        ASSERT_EQ(parsed.count("subject_pkg"), 1u);
        EXPECT_EQ(parsed["subject_pkg"]["p"].size(), 3u);
    });
}

// Through the exported function, as the example program calls it.
TEST_F(StandInService, UnknownPackageIsAllOnesUntilSet)
{
    uint64_t id = 0;
    EXPECT_EQ(getPkgId("pkg", &id), -1);
    EXPECT_EQ(id, UINT64_MAX);
    auto calls = peer.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].body, "\"pkg\"");
}

}  // namespace
