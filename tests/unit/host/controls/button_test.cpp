// The push button's state machine, transition by transition, and its properties: access
// key, new captions, persisted form, the minimum size.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "button.h"
#include "raster_surface.h"

using namespace controls;

namespace {

struct ButtonSiteFake : ButtonSite {
  RasterSurface surface{100, 30};
  ButtonControl* control = nullptr;
  std::vector<int> draws;  // looks painted, in order
  std::vector<std::string> changes;
  std::vector<int> activations;
  std::vector<std::string> log;  // tabs, pending-message runs, interception
  int clicks = 0, dblClicks = 0, moves = 0, tracks = 0;
  bool isDefault = false, user = true, windowEnabled = true;
  std::string accessKey;
  double w = 1500, h = 450;
  int cursorX = -1, cursorY = -1;

  Surface* beginDraw() override {
    draws.push_back(control->lState);
    surface.clearCalls();
    return &surface;
  }
  void endDraw() override {}
  Colour backColour() const override { return hex(0xD4D0C8); }
  void propertyChanged(const std::string& name) override { changes.push_back(name); }
  bool displayAsDefault() const override { return isDefault; }
  bool userMode() const override { return user; }
  void setAccessKey(const std::string& key) override { accessKey = key; }
  void sendTab(bool backwards) override { log.push_back(backwards ? "+{TAB}" : "{TAB}"); }
  void processPendingMessages() override { log.push_back("DoEvents"); }
  double widthTwips() const override { return w; }
  double heightTwips() const override { return h; }
  void setWidthTwips(double t) override {
    w = t;
    control->resized();  // as the platform does: a size change is another resize
  }
  void setHeightTwips(double t) override {
    h = t;
    control->resized();
  }
  int clientWidth() const override { return 100; }
  int clientHeight() const override { return 30; }
  void enableWindow(bool e) override { windowEnabled = e; }
  void trackMouseLeave() override { ++tracks; }
  void startIntercepting() override { log.push_back("intercept"); }
  void stopIntercepting() override { log.push_back("release"); }
  bool clientOriginOnScreen(int& x, int& y) const override {
    x = 200;
    y = 300;
    return true;
  }
  void setCursorPos(int x, int y) override {
    cursorX = x;
    cursorY = y;
  }
  void Click() override {
    ++clicks;
    log.push_back("Click");
  }
  void DblClick() override { ++dblClicks; }
  void MouseMove(int, int, float, float) override { ++moves; }
  void FormActivate(int state) override { activations.push_back(state); }
};

// A new button on an active form, the pointer elsewhere.
struct ButtonTest : ::testing::Test {
  ButtonSiteFake site;
  std::unique_ptr<ButtonControl> b;
  void SetUp() override {
    b = std::make_unique<ButtonControl>(site);
    site.control = b.get();
    b->initProperties({}, "ccXPButton1");
    b->formActivated(true);
    site.draws.clear();
    site.log.clear();
  }
  void hover() { b->mouseMove(0, 0, 50, 15); }
  void outside() { b->mouseMove(1, 0, -4, 15); }
  std::vector<int> draws() {
    std::vector<int> d = site.draws;
    site.draws.clear();
    return d;
  }
};

using Looks = std::vector<int>;

TEST(AccessKeyOf, FindsTheLetterAfterASingleAmpersand) {
  EXPECT_EQ(AccessKeyOf("&OK"), "o");
  EXPECT_EQ(AccessKeyOf("&Cancel"), "c");
  EXPECT_EQ(AccessKeyOf("A&&B&c"), "c");
  EXPECT_EQ(AccessKeyOf("&&Save"), "");
  EXPECT_EQ(AccessKeyOf("&A"), "");
  EXPECT_EQ(AccessKeyOf("Ab&"), "");
  EXPECT_EQ(AccessKeyOf(""), "");
  EXPECT_EQ(AccessKeyOf("設定"), "");
  EXPECT_EQ(AccessKeyOf("ｷｬﾝｾﾙ"), "");
  EXPECT_EQ(AccessKeyOf("..."), "");
  EXPECT_EQ(AccessKeyOf("&設"), "");          // two characters, however many bytes
  EXPECT_EQ(AccessKeyOf("設定(&S)"), "s");
}

TEST(ChooseNewCaption, TakesTheFirstFreeStandardCaptionThenTheName) {
  EXPECT_EQ(ChooseNewCaption({}, "B1"), "&OK");
  EXPECT_EQ(ChooseNewCaption({"&OK"}, "B2"), "&Cancel");
  EXPECT_EQ(ChooseNewCaption({"&OK", "&Cancel"}, "B3"), "&Apply");
  EXPECT_EQ(ChooseNewCaption({"&OK", "&Cancel", "&Apply"}, "ccXPButton4"), "ccXPButton4");
  EXPECT_EQ(ChooseNewCaption({"&Cancel", "&OK x"}, "B"), "&OK");  // whole captions only
}

TEST(ButtonCreation, DrawsNothingUntilEnabledIsFirstAssigned) {
  ButtonSiteFake site;
  ButtonControl b(site);
  site.control = &b;
  b.Draw(kHot);
  EXPECT_EQ(b.lState, kDisabled);
  EXPECT_TRUE(site.draws.empty());
  b.initProperties({"&OK"}, "B2");
  EXPECT_EQ(site.draws, Looks{kNormal});
  EXPECT_EQ(b.Caption(), "&Cancel");
  EXPECT_EQ(site.accessKey, "c");
  EXPECT_TRUE(b.FocusRect());
}

TEST_F(ButtonTest, PressMoveOutMoveBackReleaseClicksOnce) {
  hover();
  b->gotFocus();
  b->mouseDown(kLeftButton);
  outside();
  hover();
  b->mouseUp(kLeftButton);
  EXPECT_EQ(draws(), (Looks{kHot, kPressed, kFocused, kPressed, kHot}));
  EXPECT_EQ(site.clicks, 1);
  EXPECT_FALSE(b->bPressed);
  EXPECT_GE(site.tracks, 2);  // a leave notification asked for on each move over the button
}

TEST_F(ButtonTest, ReleaseOutsideGivesNoClickAndTheFocusedLook) {
  hover();
  b->gotFocus();
  b->mouseDown(kLeftButton);
  outside();
  b->mouseUp(kLeftButton);
  EXPECT_EQ(site.clicks, 0);
  EXPECT_EQ(b->lState, kFocused);
  EXPECT_FALSE(b->bMouseDown);
}

TEST_F(ButtonTest, SpaceDownUpClicksOnceAndRepeatsDoNotAddClicks) {
  b->gotFocus();
  b->keyDown(kVkSpace);
  b->keyDown(kVkSpace);  // auto-repeat
  EXPECT_EQ(site.clicks, 0);
  b->keyUp(kVkSpace);
  EXPECT_EQ(draws(), (Looks{kFocused, kPressed, kFocused}));
  EXPECT_EQ(site.clicks, 1);
  EXPECT_FALSE(b->bSpaceDown);
}

TEST_F(ButtonTest, SpaceWhileTheMouseIsHeldDoesNothing) {
  hover();
  b->mouseDown(kLeftButton);
  draws();
  b->keyDown(kVkSpace);
  b->keyUp(kVkSpace);
  EXPECT_TRUE(draws().empty());
  EXPECT_EQ(site.clicks, 0);
  EXPECT_FALSE(b->bSpaceDown);
  b->mouseUp(kLeftButton);
  EXPECT_EQ(site.clicks, 1);
}

TEST_F(ButtonTest, HeldSpaceBlocksMouseMoveRedraws) {
  b->gotFocus();
  b->keyDown(kVkSpace);
  draws();
  hover();
  outside();
  EXPECT_TRUE(draws().empty());
  EXPECT_EQ(site.moves, 0);
}

TEST_F(ButtonTest, EnterClicksOnKeyDown) {
  b->keyDown(kVkReturn);
  EXPECT_EQ(site.clicks, 1);
  b->keyUp(kVkReturn);
  EXPECT_EQ(site.clicks, 1);
}

TEST_F(ButtonTest, ArrowsMoveTheFocusLikeTabAndShiftTab) {
  b->keyDown(kVkLeft);
  b->keyDown(kVkUp);
  b->keyDown(kVkRight);
  b->keyDown(kVkDown);
  EXPECT_EQ(site.log, (std::vector<std::string>{"+{TAB}", "+{TAB}", "{TAB}", "{TAB}"}));
}

TEST_F(ButtonTest, EnabledFollowsThePointer) {
  hover();
  b->setEnabled(false);
  EXPECT_EQ(b->lState, kDisabled);
  EXPECT_FALSE(site.windowEnabled);
  b->setEnabled(true);
  EXPECT_EQ(b->lState, kHot);
  outside();
  b->mouseLeave();
  site.isDefault = true;
  b->ambientChanged("DisplayAsDefault");
  b->setEnabled(true);
  EXPECT_EQ(b->lState, kFocused);
  EXPECT_EQ(site.changes.back(), "Enabled");
}

TEST_F(ButtonTest, DeactivationReturnsToNormalAndClearsThePress) {
  hover();
  b->mouseDown(kLeftButton);
  b->formActivated(false);
  EXPECT_EQ(b->lState, kNormal);
  EXPECT_FALSE(b->bPressed || b->bMouseDown || b->bSpaceDown || b->bFormActive);
  b->mouseUp(kLeftButton);
  EXPECT_EQ(site.clicks, 0);
  EXPECT_EQ(site.activations, (std::vector<int>{1, 0}));
  // While inactive, moves change nothing.
  draws();
  outside();
  hover();
  EXPECT_TRUE(draws().empty());
  b->formActivated(true);
  EXPECT_EQ(b->lState, kHot);
}

TEST_F(ButtonTest, NoClickBeforeTheFirstActivation) {
  ButtonSiteFake s2;
  ButtonControl c(s2);
  s2.control = &c;
  c.initProperties({}, "B");
  c.mouseMove(0, 0, 10, 10);
  c.mouseDown(kLeftButton);
  c.mouseUp(kLeftButton);
  EXPECT_EQ(s2.clicks, 0);
}

TEST_F(ButtonTest, PointerLeaving) {
  hover();
  b->mouseLeave();
  EXPECT_EQ(b->lState, kNormal);  // neither focused nor default

  hover();
  b->gotFocus();
  b->mouseDown(kLeftButton);
  b->mouseLeave();  // pressed look, press in progress
  EXPECT_EQ(b->lState, kFocused);

  b->mouseUp(kLeftButton);
  b->Draw(kPressed);
  b->mouseLeave();  // pressed look without a press (after a double click)
  EXPECT_EQ(b->lState, kNormal);

  b->setEnabled(false);
  draws();
  b->mouseLeave();
  EXPECT_TRUE(draws().empty());
}

TEST_F(ButtonTest, FocusChanges) {
  hover();
  b->gotFocus();
  EXPECT_EQ(b->lState, kHot);
  b->lostFocus();
  EXPECT_EQ(b->lState, kHot);
  outside();
  b->mouseLeave();
  b->gotFocus();
  EXPECT_EQ(b->lState, kFocused);
  b->lostFocus();
  EXPECT_EQ(b->lState, kNormal);
  site.isDefault = true;
  b->ambientChanged("DisplayAsDefault");
  EXPECT_EQ(b->lState, kFocused);
  site.isDefault = false;
  b->ambientChanged("DisplayAsDefault");
  EXPECT_EQ(b->lState, kNormal);
}

TEST_F(ButtonTest, AccessKeyClicksAfterPendingMessagesOrCancelsAHeldSpace) {
  b->accessKeyPressed();
  EXPECT_EQ(site.log, (std::vector<std::string>{"DoEvents", "Click"}));
  b->gotFocus();
  b->keyDown(kVkSpace);
  b->accessKeyPressed();
  EXPECT_FALSE(b->bPressed);
  EXPECT_EQ(b->lState, kFocused);
  b->keyUp(kVkSpace);
  EXPECT_EQ(site.clicks, 1);  // the cancelled press gives no Click on release
  b->setEnabled(false);
  b->accessKeyPressed();
  EXPECT_EQ(site.clicks, 1);
}

TEST_F(ButtonTest, DoubleClickShowsPressedForTheLeftButtonOnly) {
  b->mouseDown(2);
  b->mouseUp(2);
  b->doubleClick();
  EXPECT_EQ(site.dblClicks, 0);
  hover();
  b->mouseDown(kLeftButton);
  b->mouseUp(kLeftButton);
  b->doubleClick();
  EXPECT_EQ(site.dblClicks, 1);
  EXPECT_EQ(b->lState, kPressed);
}

TEST_F(ButtonTest, FocusRectangleOnlyInLooksTwoToFourWhileFocused) {
  auto focusMarks = [&] {
    int n = 0;
    for (const RasterCall& c : site.surface.calls()) n += c.op == "DrawFocusRect";
    return n;
  };
  b->Draw(kFocused);
  EXPECT_EQ(focusMarks(), 0);  // not focused
  b->gotFocus();
  for (int look : {kFocused, kHot, kPressed}) {
    b->Draw(look);
    EXPECT_EQ(focusMarks(), 1) << look;
  }
  b->Draw(kNormal);
  EXPECT_EQ(focusMarks(), 0);
  b->setFocusRect(false);
  b->Draw(kHot);
  EXPECT_EQ(focusMarks(), 0);
}

TEST_F(ButtonTest, TooSmallResizeIsCorrectedAndLocksDrawingUntilEnabled) {
  site.w = 50;
  site.h = 50;
  b->resized();
  EXPECT_EQ(site.w, 100);
  EXPECT_EQ(site.h, 100);
  EXPECT_TRUE(draws().empty());
  hover();
  b->gotFocus();
  EXPECT_TRUE(draws().empty());
  EXPECT_EQ(b->lState, kNormal);
  b->setEnabled(true);
  EXPECT_EQ(draws(), Looks{kHot});
}

TEST_F(ButtonTest, SnapMouseToMovesThePointerToTheCentre) {
  b->SnapMouseTo();
  EXPECT_EQ(site.cursorX, 250);
  EXPECT_EQ(site.cursorY, 315);
}

TEST(ButtonProperties, PersistedFormKeepsChangedValuesAndAlwaysTheFont) {
  ButtonSiteFake site;
  ButtonControl b(site);
  site.control = &b;
  b.initProperties({}, "B1");
  PropertyStore store;
  b.writeProperties(store);
  ASSERT_EQ(store.stored().size(), 1u);
  EXPECT_EQ(store.read("Font", ""), "Verdana|8.25|400|0");

  PropertyStore saved;
  saved.write("Caption", "設定", "&OK");
  saved.write("Font", "ＭＳ Ｐゴシック|9.75|400|128", "");
  saved.writeLong("ForeColor", 0x00112233, 0);
  {
    ButtonSiteFake s2;
    ButtonControl c(s2);
    s2.control = &c;
    c.readProperties(saved);
    EXPECT_EQ(c.Caption(), "設定");
    EXPECT_EQ(s2.accessKey, "");
    EXPECT_EQ(c.Font().name, "ＭＳ Ｐゴシック");
    EXPECT_EQ(c.Font().charset, 128);
    EXPECT_EQ(c.ForeColor(), 0x00112233u);
    EXPECT_TRUE(c.Enabled());
    EXPECT_EQ(c.lState, kNormal);
    EXPECT_FALSE(c.bDrawLocked);
    EXPECT_EQ(s2.log, std::vector<std::string>{"intercept"});
    PropertyStore again;
    c.writeProperties(again);
    EXPECT_EQ(again.stored(), saved.stored());
  }

  saved.write("Font", "broken", "");
  saved.writeLong("Enabled", 0, -1);
  ButtonSiteFake s3;
  s3.user = false;  // in a designer: no interception
  ButtonControl d(s3);
  s3.control = &d;
  d.readProperties(saved);
  EXPECT_EQ(d.Font().name, "Verdana");
  EXPECT_FALSE(d.Enabled());
  EXPECT_EQ(d.lState, kDisabled);
  EXPECT_TRUE(s3.log.empty());
}

}  // namespace

// The Win32 site writes every property back into the holding store on each change
// notification; loading must still see every stored value, not the defaults written back
// by the first setter.
TEST(ButtonProperties, LoadingFromTheStoreItWritesBackToKeepsEveryValue) {
  struct WriteBackSite : ButtonSiteFake {
    PropertyStore* store = nullptr;
    void propertyChanged(const std::string& name) override {
      ButtonSiteFake::propertyChanged(name);
      control->writeProperties(*store);
    }
  };
  PropertyStore store;
  store.write("Caption", "ｷｬﾝｾﾙ", "&OK");
  store.write("Font", "ＭＳ Ｐゴシック|9.75|400|128", "");
  store.writeLong("ForeColor", 0x00332211, 0);
  store.writeLong("FocusRect", 0, -1);
  WriteBackSite site;
  site.store = &store;
  ButtonControl c(site);
  site.control = &c;
  c.readProperties(store);
  EXPECT_EQ(c.Caption(), "ｷｬﾝｾﾙ");
  EXPECT_EQ(c.Font().name, "ＭＳ Ｐゴシック");
  EXPECT_EQ(c.ForeColor(), 0x00332211u);
  EXPECT_EQ(store.read("Font", ""), "ＭＳ Ｐゴシック|9.75|400|128");
  EXPECT_EQ(store.readLong("FocusRect", -1), 0);
}
