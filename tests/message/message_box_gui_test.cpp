// Message boxes on a real display: the buttons each flag set gives, the value
// each button returns when its key is pressed, the message type and the text.
#include "runtime/message/message_box.h"
#include "support/gui_support.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace {

using namespace tda_test;

constexpr int TICK_MS = 20;
constexpr int DEADLINE_TICKS = 250; // 5 seconds for each stage

// One run of message_box, driven from a timeout inside its nested loop.
struct BoxRun {
    const char* key = nullptr; // keysym pressed once the dialog has the focus
    bool with_alt = false;     // pressed as a mnemonic
    // Seen on the dialog.
    bool seen = false;
    std::vector<int> responses; // responses that have a button
    GtkMessageType type = GTK_MESSAGE_OTHER;
    std::string text, title;
    // Progress.
    bool pressed = false;
    int ticks = 0;
    std::string failure;
};

GtkWidget* shown_message_dialog() {
    GtkWidget* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w != nullptr; w = w->next)
        if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_mapped(GTK_WIDGET(w->data))) found = GTK_WIDGET(w->data);
    g_list_free(windows);
    return found;
}

void observe(BoxRun* run, GtkWidget* dialog) {
    run->seen = true;
    for (int response : {GTK_RESPONSE_OK, GTK_RESPONSE_YES, GTK_RESPONSE_NO, GTK_RESPONSE_CANCEL})
        if (gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), response) != nullptr)
            run->responses.push_back(response);
    gchar* text = nullptr;
    g_object_get(dialog, "message-type", &run->type, "text", &text, nullptr);
    run->text = text != nullptr ? text : "";
    g_free(text);
    run->title = gtk_window_get_title(GTK_WINDOW(dialog));
}

// Ends a dialog that does not answer, naming what was waited for.
void give_up(BoxRun* run, GtkWidget* dialog, const char* waited_for) {
    run->failure = waited_for;
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_NONE);
}

gboolean drive(gpointer data) noexcept {
    auto* run = static_cast<BoxRun*>(data);
    if (!run->failure.empty()) return G_SOURCE_CONTINUE;
    GtkWidget* dialog = shown_message_dialog();
    if (dialog == nullptr) {
        if (++run->ticks > DEADLINE_TICKS && !run->pressed) run->failure = "the message dialog to appear";
        return G_SOURCE_CONTINUE;
    }
    if (!run->seen) {
        observe(run, dialog);
        run->ticks = 0;
        gtk_window_present(GTK_WINDOW(dialog));
    }
    if (!run->pressed) {
        if (!gtk_window_is_active(GTK_WINDOW(dialog))) {
            if (++run->ticks > DEADLINE_TICKS) give_up(run, dialog, "the message dialog to take the focus");
            return G_SOURCE_CONTINUE;
        }
        if (run->with_alt) xtest_key_down("Alt_L", true);
        xtest_key(run->key);
        if (run->with_alt) xtest_key_down("Alt_L", false);
        run->pressed = true;
        run->ticks = 0;
        return G_SOURCE_CONTINUE;
    }
    if (++run->ticks > DEADLINE_TICKS) give_up(run, dialog, "the key to end the message dialog");
    return G_SOURCE_CONTINUE;
}

std::int64_t run_message_box(BoxRun* run, const char16_t* text, std::uint32_t flags) {
    guint source = g_timeout_add(TICK_MS, drive, run);
    std::int64_t result = message_box(u"box title", text, flags);
    g_source_remove(source);
    return result;
}

TEST(MessageBox, EachButtonSetReturnsTheValueOfThePressedButton) {
    gui_runtime_start();
    const std::vector<int> OK = {GTK_RESPONSE_OK};
    const std::vector<int> YES_NO = {GTK_RESPONSE_YES, GTK_RESPONSE_NO};
    const std::vector<int> YES_NO_CANCEL = {GTK_RESPONSE_YES, GTK_RESPONSE_NO, GTK_RESPONSE_CANCEL};
    const struct {
        std::uint32_t flags;
        const char* key;
        bool with_alt;
        std::vector<int> buttons;
        GtkMessageType type;
        std::int64_t result;
    } cases[] = {
        {0, "o", true, OK, GTK_MESSAGE_OTHER, MESSAGE_BOX_RESULT_YES},
        {0, "Escape", false, OK, GTK_MESSAGE_OTHER, 0}, // closed without a button
        {MESSAGE_BOX_YES_NO, "y", true, YES_NO, GTK_MESSAGE_OTHER, MESSAGE_BOX_RESULT_YES},
        {MESSAGE_BOX_YES_NO, "n", true, YES_NO, GTK_MESSAGE_OTHER, MESSAGE_BOX_RESULT_NO},
        {MESSAGE_BOX_YES_NO_CANCEL, "y", true, YES_NO_CANCEL, GTK_MESSAGE_OTHER, MESSAGE_BOX_RESULT_YES},
        {MESSAGE_BOX_YES_NO_CANCEL, "n", true, YES_NO_CANCEL, GTK_MESSAGE_OTHER, MESSAGE_BOX_RESULT_NO},
        {MESSAGE_BOX_YES_NO_CANCEL, "c", true, YES_NO_CANCEL, GTK_MESSAGE_OTHER, MESSAGE_BOX_RESULT_CANCEL},
        {MESSAGE_BOX_YES_NO + MESSAGE_BOX_YES_NO_CANCEL, "n", true, YES_NO, GTK_MESSAGE_OTHER, MESSAGE_BOX_RESULT_NO},
        {MESSAGE_BOX_WARNING + MESSAGE_BOX_INFO, "o", true, OK, GTK_MESSAGE_INFO, MESSAGE_BOX_RESULT_YES},
        {MESSAGE_BOX_WARNING + MESSAGE_BOX_ERROR, "o", true, OK, GTK_MESSAGE_WARNING, MESSAGE_BOX_RESULT_YES},
        {MESSAGE_BOX_ERROR, "o", true, OK, GTK_MESSAGE_ERROR, MESSAGE_BOX_RESULT_YES},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "flags " << c.flags << ", key " << c.key);
        BoxRun run;
        run.key = c.key;
        run.with_alt = c.with_alt;
        std::int64_t result = run_message_box(&run, u"100% sure %s", c.flags);
        ASSERT_EQ(run.failure, "") << "timed out waiting for " << run.failure;
        ASSERT_TRUE(run.seen);
        EXPECT_EQ(run.responses, c.buttons);
        EXPECT_EQ(run.type, c.type);
        EXPECT_EQ(run.text, "100% sure %s");
        EXPECT_EQ(run.title, "box title");
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(shown_message_dialog(), nullptr) << "the dialog is gone when message_box returns";
    }
}

} // namespace
