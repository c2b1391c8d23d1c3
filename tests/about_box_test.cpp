// The About box from the real resources: its texts, and every way of closing it.
#include "support.h"

class AboutBox : public testing::Test {
protected:
    TempFolder folder;
    void SetUp() override { openGameWindow(); }
    void TearDown() override { closeGameWindow(); }
    void openAbout(std::function<void(HWND)> action)
    {
        ModalDriver driver;
        driver.onDialog("About Tunegrin", action);
        SendMessageA(mainWindow, WM_COMMAND, IDM_ABOUT, 0);
    }
};

TEST_F(AboutBox, ShowsTheTitleIconAndHowToPlay)
{
    bool seen = false;
    openAbout([&](HWND dialog) {
        seen = true;
        EXPECT_EQ(dialogItemText(dialog, 101), "Tunegrin Music Instruction Software");
        EXPECT_EQ(dialogItemText(dialog, IDOK), "&I'll do it!");
        EXPECT_EQ(dialogItemText(dialog, 107),
                  "Tunegrin is a program that will help you learn to sight-read music. Just select \"Start ");
        EXPECT_EQ(dialogItemText(dialog, 108),
                  "Playing\" from the Game Menu and try to play the note that shows up on the staff. You");
        EXPECT_EQ(dialogItemText(dialog, 109),
                  "can either use a MIDI keyboard or select the keyboard under the Options menu.");
        EXPECT_EQ(dialogItemText(dialog, 110),
                  "When you press the right note you get a Happy Face! If you wait too long the note will");
        EXPECT_EQ(dialogItemText(dialog, 111),
                  "get mad at you! Just try to have fun and learn to read music at the same time. ");
        EXPECT_NE(SendDlgItemMessageA(dialog, 104, STM_GETICON, 0, 0), 0) << "the program's icon";
        EXPECT_NE(dialogItemText(dialog, IDC_ABOUT_VERSION).find("Windows 95"), std::string::npos);
        EXPECT_NE(dialogItemText(dialog, IDC_ABOUT_SYSREQ).find("32-bit"), std::string::npos);
        EXPECT_FALSE(dialogItemText(dialog, IDC_ABOUT_MAKER).empty());
        EXPECT_FALSE(dialogItemText(dialog, IDC_ABOUT_CONTACT).empty());
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_TRUE(seen);
}

TEST_F(AboutBox, ClosesOnTheButtonEnterEscapeAndTheCloseBox)
{
    std::vector<std::function<void(HWND)>> ways = {
        [](HWND dialog) { SendDlgItemMessageA(dialog, IDOK, BM_CLICK, 0, 0); },
        [](HWND dialog) { PostMessageA(GetFocus() ? GetFocus() : dialog, WM_KEYDOWN, VK_RETURN, 0); },
        [](HWND dialog) { PostMessageA(GetFocus() ? GetFocus() : dialog, WM_KEYDOWN, VK_ESCAPE, 0); },
        [](HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    for (size_t i = 0; i < ways.size(); i++) {
        HWND opened = 0;
        openAbout([&](HWND dialog) { opened = dialog; ways[i](dialog); });   // the watchdog fails a box left open
        EXPECT_NE(opened, nullptr) << i;
        EXPECT_FALSE(IsWindow(opened)) << "way " << i << " left the box open";
    }
}

TEST_F(AboutBox, TheGameGoesOnBehindIt)
{
    SendMessageA(mainWindow, WM_COMMAND, IDM_START, 0);
    noteX = MISS_X + 30;
    openAbout([](HWND dialog) {
        modalDriver()->closeWhen(dialog, [] { return noteState == DRAW_MAD; });
    });
    EXPECT_EQ(noteState, DRAW_MAD) << "the note timed out while the box was open; noteX " << noteX;
    EXPECT_TRUE(menuGrayed(IDM_START));
}
