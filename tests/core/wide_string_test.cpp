// The string workspace and string variables.
#include "runtime/core/wide_string.h"

#include "runtime/core/memory.h"
#include "support/allocation_failure.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

std::u16string text_at(std::int64_t offset) {
    return std::u16string(workspace_string_at(offset));
}

// Runs body on a new thread, whose workspace starts fresh.
template <typename Body> void on_fresh_thread(Body body) {
    std::thread worker([&] {
        workspace_ensure();
        body();
    });
    worker.join();
}

TEST(Workspace, FreshWorkspaceGrowsBySlackBeyondNeed) {
    on_fresh_thread([] {
        StringWorkspace* ws = workspace_current();
        ASSERT_NE(ws, nullptr);
        EXPECT_EQ(ws->capacity, 16);
        EXPECT_EQ(ws->position, 0);
        ASSERT_NE(workspace_reserve(10000, -1), nullptr);
        EXPECT_EQ(ws->capacity, 36384);
        EXPECT_EQ(workspace_position(), 20000);
        char* before = workspace_base();
        ASSERT_NE(workspace_reserve(8000, -1), nullptr); // needs 36000 < 36380: no growth
        EXPECT_EQ(ws->capacity, 36384);
        EXPECT_EQ(workspace_base(), before);
        workspace_set_position(0);
        ASSERT_NE(workspace_reserve(1, -1), nullptr);
        EXPECT_EQ(ws->capacity, 36384) << "the capacity never shrinks";
    });
}

TEST(Workspace, GrowthThresholdKeepsRoomForATerminator) {
    on_fresh_thread([] {
        StringWorkspace* ws = workspace_current();
        ASSERT_NE(workspace_reserve(5, -1), nullptr); // need 10 < 12
        EXPECT_EQ(ws->capacity, 16);
        workspace_set_position(0);
        ASSERT_NE(workspace_reserve(6, -1), nullptr); // need 12 >= 12: grows
        EXPECT_EQ(ws->capacity, 12 + 16384);
    });
}

TEST(Workspace, ReserveAtAnOffsetPlacesTheRoomThere) {
    workspace_ensure();
    std::int64_t start = workspace_position();
    workspace_push_string(u"abcdef");
    WideChar* room = workspace_reserve(2, static_cast<std::int32_t>(start + 2));
    ASSERT_NE(room, nullptr);
    EXPECT_EQ(room, workspace_string_at(start + 2));
    EXPECT_EQ(workspace_position(), start + 6);
    EXPECT_EQ(workspace_reserve(-1, -1), nullptr);
    EXPECT_EQ(workspace_reserve(1, -2), nullptr);
    workspace_set_position(start);
}

TEST(Workspace, PushNullWritesAnEmptyStringWithoutMoving) {
    workspace_ensure();
    std::int64_t start = workspace_position();
    WideChar* empty = workspace_push_string(nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty[0], 0);
    EXPECT_EQ(empty, workspace_top());
    EXPECT_EQ(workspace_position(), start);
}

TEST(Workspace, PushedStringsConcatenateAtTheSavedStart) {
    workspace_ensure();
    std::int64_t start = workspace_position();
    workspace_push_string(u"ab");
    workspace_push_string(u"cd");
    EXPECT_EQ(workspace_position(), start + 8);
    EXPECT_EQ(text_at(start), u"abcd");
    workspace_set_position(start);
}

TEST(Workspace, StepKeepsAnArgumentsTerminator) {
    workspace_ensure();
    std::int64_t start = workspace_position();
    workspace_push_string(u"first");
    workspace_step();
    std::int64_t second = workspace_position();
    workspace_push_string(u"second");
    EXPECT_EQ(text_at(start), u"first");
    EXPECT_EQ(text_at(second), u"second");
    workspace_drop(7);
    EXPECT_EQ(workspace_position(), second - 2 * 1);
    workspace_set_position(start);
}

TEST(Workspace, PushingAStringThatLiesInTheMovingBufferCopiesIt) {
    on_fresh_thread([] {
        WideChar* first = workspace_push_string(u"abcd");
        ASSERT_NE(first, nullptr);
        ASSERT_NE(workspace_push_string(first), nullptr); // needs 16 bytes: the buffer grows
        EXPECT_NE(workspace_current()->capacity, 16);
        EXPECT_EQ(text_at(0), u"abcdabcd");
    });
}

TEST(Workspace, OffsetOfCountsTheEndAsInside) {
    workspace_ensure();
    std::int64_t start = workspace_position();
    workspace_push_string(u"xyz");
    char* base = workspace_base();
    std::int64_t pos = workspace_position();
    EXPECT_EQ(workspace_offset_of(base + pos), pos + 1);
    EXPECT_EQ(workspace_offset_of(base), 1);
    EXPECT_EQ(workspace_offset_of(base - 2), 0);
    EXPECT_EQ(workspace_offset_of(base + pos + 2), 0);
    EXPECT_EQ(workspace_offset_of(u"elsewhere"), 0);
    EXPECT_EQ(workspace_address_at(workspace_offset_of(base + start)), workspace_string_at(start));
    EXPECT_EQ(workspace_anchor(base + pos + 2), pos + 3) << "anchors reach past the position";
    workspace_set_position(start);
}

TEST(Workspace, TruncateAndSeek) {
    workspace_ensure();
    std::int64_t start = workspace_position();
    workspace_push_string(u"hello");
    workspace_truncate(start + 4);
    EXPECT_EQ(text_at(start), u"he");
    EXPECT_EQ(workspace_position(), start + 4);
    EXPECT_EQ(workspace_seek(start), workspace_string_at(start));
    EXPECT_EQ(workspace_position(), start);
    workspace_truncate(-2); // ignored
    EXPECT_EQ(workspace_position(), start);
    workspace_drop(1000000);
    EXPECT_EQ(workspace_position(), 0) << "never below the buffer";
    workspace_set_position(start);
}

TEST(Workspace, NoGrowthWithoutMemoryLeavesEverythingInPlace) {
    on_fresh_thread([] {
        StringWorkspace* ws = workspace_current();
        workspace_push_string(u"ab");
        char* buffer = ws->buffer;
        {
            tda_test::AllocationFailureScope no_memory;
            EXPECT_EQ(workspace_reserve(100, -1), nullptr);
            EXPECT_EQ(workspace_push_string(u"a long string that does not fit"), nullptr);
            workspace_truncate(4000);
            EXPECT_NE(workspace_reserve(1, -1), nullptr) << "room that fits needs no memory";
        }
        EXPECT_EQ(ws->buffer, buffer);
        EXPECT_EQ(ws->capacity, 16);
        EXPECT_EQ(ws->position, 6);
        EXPECT_EQ(text_at(0).substr(0, 2), u"ab");
    });
}

TEST(Workspace, LimitOfThirtyTwoBitOffsetsIsRefused) {
    on_fresh_thread([] {
        EXPECT_EQ(workspace_reserve(INT32_MAX, -1), nullptr);
        EXPECT_EQ(workspace_position(), 0);
        EXPECT_EQ(workspace_current()->capacity, 16);
    });
}

TEST(Workspace, EachThreadHasItsOwnAndCreatesItOnDemand) {
    workspace_ensure();
    StringWorkspace* mine = workspace_current();
    StringWorkspace* theirs = nullptr;
    std::int64_t their_position = -1;
    std::thread worker([&] {
        // No workspace_ensure: the first use creates it.
        workspace_push_string(u"xy");
        theirs = workspace_current();
        their_position = workspace_position();
    });
    worker.join();
    EXPECT_NE(theirs, mine);
    EXPECT_EQ(their_position, 4);
}

TEST(Workspace, FreedWorkspaceIsRecreatedOnNextUse) {
    on_fresh_thread([] {
        workspace_push_string(u"abc");
        workspace_free();
        EXPECT_EQ(workspace_position(), 0);
        EXPECT_EQ(workspace_current()->capacity, 16);
    });
}

// ---- string variables ----

TEST(StringVariable, AssignCopiesAndReportsBytes) {
    WideChar* v = nullptr;
    struct Case {
        const char16_t* text;
        std::int64_t bytes;
    } cases[] = {{u"", 2}, {u"a", 4}, {u"hello", 12}, {u"\u4E2D\u6587", 6}};
    for (const Case& c : cases) {
        EXPECT_EQ(string_assign(&v, c.text), c.bytes);
        ASSERT_NE(v, nullptr);
        EXPECT_NE(v, c.text);
        EXPECT_EQ(std::u16string(v), c.text);
    }
    EXPECT_EQ(string_assign(&v, nullptr), 2);
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(string_assign(&v, nullptr), 2);
}

TEST(StringVariable, AssignFromItselfOrItsOwnTail) {
    WideChar* v = nullptr;
    string_assign(&v, u"abcdef");
    string_assign(&v, v);
    EXPECT_EQ(std::u16string(v), u"abcdef");
    string_assign(&v, v + 2);
    EXPECT_EQ(std::u16string(v), u"cdef");
    string_free(v);
}

TEST(StringVariable, AssignWithoutMemoryKeepsTheOldValue) {
    WideChar* v = nullptr;
    string_assign(&v, u"kept");
    {
        tda_test::AllocationFailureScope no_memory;
        EXPECT_EQ(string_assign(&v, u"lost"), 0);
    }
    EXPECT_EQ(std::u16string(v), u"kept");
    string_free(v);
}

TEST(StringVariable, AssignFromWorkspaceTakesTheExpressionAndRestoresPosition) {
    workspace_ensure();
    std::int64_t start = workspace_position();
    workspace_push_string(u"2024");
    workspace_push_string(u"/");
    workspace_push_string(u"03");
    WideChar* v = nullptr;
    ASSERT_NE(string_assign_from_workspace(&v, start), nullptr);
    EXPECT_EQ(std::u16string(v), u"2024/03");
    EXPECT_EQ(workspace_position(), start);

    workspace_push_string(u"");
    ASSERT_NE(string_assign_from_workspace(&v, start), nullptr);
    EXPECT_EQ(std::u16string(v), u"") << "an empty expression gives an empty, non-null value";

    workspace_push_string(u"zz");
    {
        tda_test::AllocationFailureScope no_memory;
        EXPECT_EQ(string_assign_from_workspace(&v, start), nullptr);
    }
    EXPECT_EQ(std::u16string(v), u"");
    EXPECT_EQ(workspace_position(), start);
    string_free(v);
}

TEST(StringVariable, InitCopyMakesANewBufferAndLeavesNullAlone) {
    WideChar* original = nullptr;
    string_assign(&original, u"shared");
    WideChar* copy = original; // as in a record copied bytewise
    string_init_copy(&copy, original);
    EXPECT_NE(copy, original);
    EXPECT_EQ(std::u16string(copy), u"shared");
    EXPECT_EQ(std::u16string(original), u"shared") << "the old value is not freed";
    WideChar* untouched = copy;
    string_init_copy(&untouched, nullptr);
    EXPECT_EQ(untouched, copy);
    WideChar* failed = original;
    {
        tda_test::AllocationFailureScope no_memory;
        string_init_copy(&failed, original);
    }
    EXPECT_EQ(failed, nullptr) << "never left sharing the source's buffer";
    string_free(copy);
    string_free(original);
    string_free(nullptr);
}

TEST(StringVariable, LengthAndCopy) {
    EXPECT_EQ(string_length(u""), 0);
    EXPECT_EQ(string_length(u"abc"), 3);
    EXPECT_EQ(string_length(nullptr), 0);
    WideChar buffer[8] = {u'x', u'x', u'x', u'x', u'x', u'x', u'x', u'x'};
    EXPECT_EQ(string_copy(buffer, u"abc"), buffer);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(buffer[4], u'x');
}

} // namespace
