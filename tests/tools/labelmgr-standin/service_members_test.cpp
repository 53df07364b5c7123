// Every member of the label-manager interface with its signatures, as the
// client sends and reads them: the stand-in must answer each one, with
// replies of the member's output types.
#include <dbus/dbus.h>

#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standin_service.h"

namespace {

struct MemberSignature {
    const char* name;
    const char* in;
    const char* out;
};

const MemberSignature kInterface[] = {
    {"getPkgId", "s", "t"},
    {"getPkgIds", "as", "ati"},
    {"setPkgId", "st", "i"},
    {"queryUserSetPkgId", "s", "a{st}"},
    {"showUserSetPkgId", "", "a{st}"},
    {"delUserSetPkgId", "s", "i"},
    {"delAllUserSetPkgId", "", "i"},
    {"getFileOid", "s", "a{st}"},
    {"setFileOid", "sa{st}i", "i"},
    {"queryUserSetFileOid", "si", "a{sa{st}}"},
    {"showUserSetFileOid", "", "a{sa{st}}"},
    {"delUserSetFileOid", "si", "i"},
    {"delAllUserSetFileOid", "", "i"},
    {"getFileSid", "s", "a{st}"},
    {"setFileSid", "sa{st}i", "i"},
    {"queryUserSetFileSid", "si", "a{sa{st}}"},
    {"showUserSetFileSid", "", "a{sa{st}}"},
    {"delUserSetFileSid", "si", "i"},
    {"delAllUserSetFileSid", "", "i"},
    {"getFileTid", "s", "u"},
    {"setFileTid", "sui", "i"},
    {"queryUserSetFileTid", "si", "a{su}"},
    {"showUserSetFileTid", "", "a{su}"},
    {"delUserSetFileTid", "si", "i"},
    {"delAllUserSetFileTid", "", "i"},
    {"getFileInheritFlag", "s", "u"},
    {"setFileInheritFlag", "sui", "i"},
    {"queryUserSetFileInheritFlag", "si", "a{su}"},
    {"showUserSetFileInheritFlag", "", "a{su}"},
    {"delUserSetFileInheritFlag", "si", "i"},
    {"delAllUserSetFileInheritFlag", "", "i"},
    {"setLabelForPkg", "ass", "i"},
    {"getKernelModuleOid", "s", "t"},
    {"getKernelModuleOids", "as", "a{st}"},
    {"getDeviceOid", "s", "t"},
    {"getDeviceOids", "as", "a{st}"},
    {"addTagFullSystem", "sas", "i"},
    {"getPathSm3HashValue", "s", "s"},
    {"policies_parse", "a{sas}", "a{sa{sa{st}}}"},
    {"restoreSingleFileLabel", "s", "s"},
    {"restoreSingleFileInitLabel", "s", "s"},
    {"getLabelSetStatus", "", "i"},
};
static_assert(std::size(kInterface) == 42, "the interface has 42 members");

struct Unref {
    void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};
using Message = std::unique_ptr<DBusMessage, Unref>;

// A call of `member`; with `signature`, its arguments: empty strings and
// containers, zero numbers.
Message call(const char* member, const char* signature = nullptr)
{
    Message m(dbus_message_new_method_call(standin::kServiceName, standin::kObjectPath, standin::kInterface, member));
    if (!m) return m;
    dbus_message_set_serial(m.get(), 1);  // answers refer to it
    if (!signature || !*signature) return m;
    DBusMessageIter out;
    dbus_message_iter_init_append(m.get(), &out);
    DBusSignatureIter sig;
    dbus_signature_iter_init(&sig, signature);
    do {
        int type = dbus_signature_iter_get_current_type(&sig);
        bool ok = true;
        if (type == DBUS_TYPE_ARRAY) {
            DBusSignatureIter element;
            dbus_signature_iter_recurse(&sig, &element);
            char* elementSig = dbus_signature_iter_get_signature(&element);
            DBusMessageIter array;
            ok = dbus_message_iter_open_container(&out, DBUS_TYPE_ARRAY, elementSig, &array) &&
                 dbus_message_iter_close_container(&out, &array);
            dbus_free(elementSig);
        } else if (type == DBUS_TYPE_STRING) {
            const char* empty = "";
            ok = dbus_message_iter_append_basic(&out, type, &empty);
        } else {
            dbus_uint64_t zero = 0;  // read as each type's own width
            ok = dbus_message_iter_append_basic(&out, type, &zero);
        }
        if (!ok) return nullptr;
    } while (dbus_signature_iter_next(&sig));
    return m;
}

std::string errorText(DBusMessage* reply)
{
    const char* text = nullptr;
    dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
    return text ? text : "";
}

void PrintTo(const MemberSignature& m, std::ostream* os)
{
    *os << m.name;
}

std::vector<MemberSignature> membersWithInputs()
{
    std::vector<MemberSignature> out;
    for (const MemberSignature& m : kInterface)
        if (*m.in) out.push_back(m);
    return out;
}

std::string memberName(const ::testing::TestParamInfo<MemberSignature>& info)
{
    return info.param.name;
}

class ServiceMember : public ::testing::TestWithParam<MemberSignature> {};

TEST_P(ServiceMember, AnswersWithTheMembersOutputTypes)
{
    const MemberSignature& m = GetParam();
    Message c = call(m.name, m.in);
    ASSERT_TRUE(c);
    Message reply(standin::serviceAnswer(c.get()));
    ASSERT_TRUE(reply);
    ASSERT_EQ(dbus_message_get_type(reply.get()), DBUS_MESSAGE_TYPE_METHOD_RETURN)
        << dbus_message_get_error_name(reply.get()) << ": " << errorText(reply.get());
    EXPECT_STREQ(dbus_message_get_signature(reply.get()), m.out);
}

INSTANTIATE_TEST_SUITE_P(Interface, ServiceMember, ::testing::ValuesIn(kInterface), memberName);

class MemberWithInputs : public ::testing::TestWithParam<MemberSignature> {};

TEST_P(MemberWithInputs, CallWithoutItsArgumentsIsRefusedNamingThem)
{
    const MemberSignature& m = GetParam();
    Message c = call(m.name);
    ASSERT_TRUE(c);
    Message reply(standin::serviceAnswer(c.get()));
    ASSERT_TRUE(reply);
    ASSERT_EQ(dbus_message_get_type(reply.get()), DBUS_MESSAGE_TYPE_ERROR);
    EXPECT_STREQ(dbus_message_get_error_name(reply.get()), DBUS_ERROR_INVALID_ARGS);
    EXPECT_EQ(errorText(reply.get()), std::string("expected arguments of signature \"") + m.in + "\"");
}

INSTANTIATE_TEST_SUITE_P(Interface, MemberWithInputs, ::testing::ValuesIn(membersWithInputs()), memberName);

TEST(ServiceMember, UnknownMemberIsUnknownMethod)
{
    Message c = call("getFileOids", "as");
    ASSERT_TRUE(c);
    Message reply(standin::serviceAnswer(c.get()));
    ASSERT_TRUE(reply);
    ASSERT_EQ(dbus_message_get_type(reply.get()), DBUS_MESSAGE_TYPE_ERROR);
    EXPECT_STREQ(dbus_message_get_error_name(reply.get()), DBUS_ERROR_UNKNOWN_METHOD);
    EXPECT_EQ(errorText(reply.get()), "no method getFileOids in interface com.tarne.vorx.labelmgr");
}

}  // namespace
