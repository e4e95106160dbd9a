// The keyboard-to-serial family (MR-320KBS, TV-520KBS, KN-610K/PQ): entry by an empty line,
// the models' dump layouts and interval ranges, empty-line acknowledgements, the end banner,
// how each model reports a refused "DEFAULT", and the interval check.
#include <gtest/gtest.h>

#include <functional>

#include "support_session.h"

namespace setwright::testing {
namespace {

using Lines = std::vector<std::string>;

const Lines k320 = {"MR-320KBS V1.0", "ID 1234", "--",   "B=9600", "--", "D=8", "P=N", "S=1", "R=D",
                    "XON=D",          "MODE=2",  "LF=1", "T1=10"};
const Lines k520 = {"TV-520KBS V2", "--",    "B=9600", "D=8",  "P=N",  "S=1",
                    "R=D",          "XON=D", "MODE=2", "LF=1", "T1=10"};
const Lines k610 = {"KN-610K/PQ V1", "--",    "B=9600", "D=8",  "P=N",  "S=1",
                    "R=D",           "XON=D", "MODE=2", "LF=1", "T1=10"};

std::string KDump(const Lines& lines) {
  std::string d = "\r\n* * * PROGRAM MODE * * *\r\n\r\n";
  for (const auto& l : lines) d += l + "\r\n";
  return d;
}
Lines With(Lines lines, std::size_t index, const std::string& line) {
  lines[index] = line;
  return lines;
}
Lines Without(Lines lines, std::size_t index) {
  lines.erase(lines.begin() + index);
  return lines;
}
Lines Inserted(Lines lines, std::size_t index, const std::string& line) {
  lines.insert(lines.begin() + index, line);
  return lines;
}

std::string TickUntilReport(Rig& rig) {
  for (int i = 0; i < 60; ++i) {
    rig.Ticks();
    for (const auto& call : rig.ui.Take())
      if (call.rfind("report ", 0) == 0) return call.substr(7);
  }
  return "(nothing)";
}

TEST(KeyboardToSerial, RoadOfATypicalUse) {
  Rig rig("MR-320KBS", false);
  rig.session->Open();
  EXPECT_EQ(rig.ui.Take(), Lines{"report blue Waiting for device connected!"});
  rig.Ticks();  // the port opens with the device off: nothing to say
  EXPECT_EQ(rig.ui.Take(), Lines{});
  rig.selected.SetCts(true);
  rig.Ticks();
  EXPECT_EQ(rig.selected.TakeWritten(), "");
  rig.Ticks();
  EXPECT_EQ(rig.selected.TakeWritten(), "\r\n");
  EXPECT_EQ(rig.ui.Take(), Lines{"report blue Waiting for reading PROGRAM MODE!"});

  rig.selected.Receive(KDump(k320));
  rig.Ticks();
  EXPECT_EQ(rig.ui.Take(), Lines{"report green Enter PROGRAM MODE success!"});
  FormState form = rig.session->Form();
  EXPECT_EQ(form.productText, "MR-320KBS V1.0");
  EXPECT_EQ(form.identificationText, "ID 1234");
  EXPECT_EQ(form.selected["B"], 5);
  EXPECT_EQ(form.selected["MODE"], 1);
  EXPECT_EQ(form.intervalText, "10");

  rig.session->EditForm([](FormState& f) { f.selected["P"] = 1; });
  rig.clock.now += 100;
  rig.session->SaveAndReset();
  Lines sent;
  for (int i = 0; i < 20 && rig.session->State() == SessionState::Writing; ++i) {
    rig.Ticks();
    std::string w = rig.selected.TakeWritten();
    if (w.empty()) continue;
    sent.push_back(w);
    rig.selected.Receive(w == "END\r\n" ? "\r\n* * * PROGRAM MODE END * * *\r\n" : "\r\n");
  }
  EXPECT_EQ(sent, (Lines{"P=E\r\n", "END\r\n"}));
  EXPECT_EQ(rig.ui.Take(), Lines{"report green Save PROGRAM MODE and reset success!"});
  EXPECT_EQ(rig.session->TakeExtraPauseMs(), 300);

  rig.session->Close();
  EXPECT_EQ(rig.selected.TakeWritten(), "");
  EXPECT_EQ(rig.ui.Take(), (Lines{"close selection dialog", "close page"}));
}

TEST(KeyboardToSerial, ReadBackVariants) {
  const std::string ok = "green Enter PROGRAM MODE success!";
  const std::string timeout = "red PROGRAM MODE timeout! \r\nPlease restart device power!";
  struct Case {
    std::string name, model;
    Lines dump;
    std::string report;
    std::function<void(const FormState&)> check = nullptr;
  } cases[] = {
      {"MR-320KBS skips a line after B", "MR-320KBS", Without(k320, 4), "red Get Data bits error!"},
      {"MR-320KBS T1 below range", "MR-320KBS", With(k320, 12, "T1=9"), "red Get T1 error!"},
      {"MR-320KBS T1 at the top", "MR-320KBS", With(k320, 12, "T1=300"), ok},
      {"T1 without value", "MR-320KBS", With(k320, 12, "T1="), "red Get T1 error!"},
      {"MR-320KBS 14400", "MR-320KBS", With(k320, 3, "B=14400"), ok,
       [](const FormState& f) { EXPECT_EQ(f.selected.at("B"), 10); }},
      {"TV-520KBS line 2 always skipped", "TV-520KBS", Without(k520, 1), "red Get Baudrate error!"},
      {"TV-520KBS no line between B and D", "TV-520KBS", Inserted(k520, 3, "--"),
       "red Get Data bits error!"},
      {"TV-520KBS T1 of 100", "TV-520KBS", With(k520, 10, "T1=100"), "red Get T1 error!"},
      {"TV-520KBS T1 of 1", "TV-520KBS", With(k520, 10, "T1=1"), ok,
       [](const FormState& f) { EXPECT_EQ(f.intervalText, "1"); }},
      {"TV-520KBS has no 300 baud", "TV-520KBS", With(k520, 2, "B=300"), "red Get Baudrate error!"},
      {"KN-610K/PQ reference", "KN-610K/PQ", k610, ok,
       [](const FormState& f) {
         EXPECT_EQ(f.selected.at("B"), 3);
         EXPECT_EQ(f.identificationText, "");
       }},
      {"KN-610K/PQ has no 230400 baud", "KN-610K/PQ", With(k610, 2, "B=230400"),
       "red Get Baudrate error!", [](const FormState& f) { EXPECT_EQ(f.selected.at("D"), -1); }},
      {"KN-610K/PQ T1 of 0", "KN-610K/PQ", With(k610, 10, "T1=0"), "red Get T1 error!"},
      {"T1 with a leading zero", "KN-610K/PQ", With(k610, 10, "T1=010"), ok,
       [](const FormState& f) { EXPECT_EQ(f.intervalText, "010"); }},
      {"value with a trailing blank", "KN-610K/PQ", With(k610, 2, "B=9600 baud"), ok},
      {"baud with a leading zero", "KN-610K/PQ", With(k610, 2, "B=09600"),
       "red Get Baudrate error!"},
      {"RTS key read as R", "KN-610K/PQ", With(k610, 6, "RTS=E"), ok},
      {"empty line inside the dump", "KN-610K/PQ", Inserted(k610, 3, ""), timeout},
      {"product name shortened", "KN-610K/PQ", With(k610, 0, "KN-610 V1"), ok},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig(c.model);
    rig.PowerCycleToEntry();
    rig.selected.Receive(KDump(c.dump));
    EXPECT_EQ(TickUntilReport(rig), c.report);
    EXPECT_EQ(rig.session->State(), SessionState::IdleSelectedPort);
    if (c.check) c.check(rig.session->Form());
  }
}

TEST(KeyboardToSerial, BannerWithoutItsBlankAndAnotherModel) {
  Rig rig("MR-320KBS");
  rig.PowerCycleToEntry();
  rig.selected.Receive("\r\n* * * PROGRAM MODE* * *\r\n" + KDump(k320).substr(31));
  EXPECT_EQ(TickUntilReport(rig), "red PROGRAM MODE read error!");

  rig.clock.now += 100;
  rig.session->EnterProgMode();
  EXPECT_EQ(rig.selected.TakeWritten(), "\r\n\r\n");  // the cycle's entry, then the button's
  rig.selected.Receive(KDump(With(k320, 0, "KN-610K/PQ V1")));
  rig.Ticks();
  const std::string text = "Product is KN-610K/PQ.\r\nPlease select the right product name!";
  EXPECT_EQ(rig.ui.Take(), (Lines{"report blue Waiting for reading PROGRAM MODE!", "timer 7 3000",
                                  "report red " + text, "box MR-320KBS okcancel " + text,
                                  "select product 2", "request close"}));
}

TEST(KeyboardToSerial, WriteSequence) {
  const std::string saved = "green Save PROGRAM MODE and reset success!";
  const std::string endBanner = "\r\n* * * PROGRAM MODE END * * *\r\n";
  struct Case {
    std::string name, model;
    std::function<void(FormState&)> edit;
    std::string ack, end;
    Lines sent;
    std::string report;
  } cases[] = {
      {"only parity",
       "TV-520KBS",
       [](FormState& f) { f.selected["P"] = 2; },
       "\r\n",
       endBanner,
       {"P=O\r\n", "END\r\n"},
       saved},
      {"order of the keys",
       "KN-610K/PQ",
       [](FormState& f) {
         f.intervalText = "20";
         f.selected["S"] = 1;
         f.selected["B"] = 0;
       },
       "\r\n",
       endBanner,
       {"B=1200\r\n", "S=2\r\n", "T1=20\r\n", "END\r\n"},
       saved},
      {"same interval with a leading zero",
       "KN-610K/PQ",
       [](FormState& f) { f.intervalText = "010"; },
       "\r\n",
       endBanner,
       {"END\r\n"},
       saved},
      {"new interval with a leading zero",
       "MR-320KBS",
       [](FormState& f) { f.intervalText = "050"; },
       "\r\n",
       endBanner,
       {"T1=50\r\n", "END\r\n"},
       saved},
      {"two empty lines",
       "TV-520KBS",
       [](FormState& f) { f.selected["D"] = 0; },
       "\r\n\r\n",
       endBanner,
       {"D=7\r\n"},
       "red Set command error!"},
      {"first part of the end banner",
       "TV-520KBS",
       [](FormState&) {},
       "\r\n",
       "\r\n* * * PROG",
       {"END\r\n"},
       saved},
      {"other end reply",
       "MR-320KBS",
       [](FormState&) {},
       "\r\n",
       "\r\nERROR\r\n",
       {"END\r\n"},
       "red Save PROGRAM MODE failed!"},
  };
  const std::map<std::string, Lines> dumps = {
      {"MR-320KBS", k320}, {"TV-520KBS", k520}, {"KN-610K/PQ", k610}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig(c.model);
    rig.EnterWithDump(KDump(dumps.at(c.model)));
    ASSERT_TRUE(rig.session->InProgramMode());
    rig.session->EditForm(c.edit);
    rig.clock.now += 100;
    rig.session->SaveAndReset();
    Lines sent;
    for (int i = 0; i < 40 && rig.session->State() == SessionState::Writing; ++i) {
      rig.Ticks();
      std::string w = rig.selected.TakeWritten();
      if (w.empty()) continue;
      sent.push_back(w);
      rig.selected.Receive(w == "END\r\n" ? c.end : c.ack);
    }
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(rig.ui.LastReport(), c.report);
    EXPECT_EQ(rig.session->InProgramMode(), sent.back() != "END\r\n");
  }
}

TEST(KeyboardToSerial, SetToDefault) {
  struct Case {
    std::string model;
    Lines dump;
    Lines refused;  // the calls after a refused "DEFAULT"
  } cases[] = {
      {"MR-320KBS", k320, {"timer 6 2500", "box MR-320KBS ok Set default command error!"}},
      {"TV-520KBS", k520, {"report red Set default command error!"}},
      {"KN-610K/PQ", k610, {"report red Set default command error!"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    Rig rig(c.model);
    rig.EnterWithDump(KDump(c.dump));
    rig.clock.now += 100;
    rig.session->SetToDefault();
    EXPECT_EQ(rig.selected.TakeWritten(), "DEFAULT\r\n");
    rig.selected.Receive("\r\n");
    rig.Ticks();
    EXPECT_EQ(rig.selected.TakeWritten(), "\r\n");
    rig.selected.Receive(KDump(c.dump));
    EXPECT_EQ(TickUntilReport(rig), "green Set to default success!");

    rig.clock.now += 100;
    rig.session->SetToDefault();
    rig.selected.Receive("ERR\r\n");
    rig.Ticks();
    EXPECT_EQ(rig.ui.Take(), c.refused);
    EXPECT_EQ(rig.session->State(), SessionState::IdleSelectedPort);
    EXPECT_TRUE(rig.session->InProgramMode());
  }
}

// Only the first line answers "DEFAULT": what the device sends right behind it does not
// turn an acknowledged default into an error.
TEST(KeyboardToSerial, SetToDefaultTakesOnlyTheFirstLine) {
  struct Case {
    std::string name;
    std::string reply;
    bool accepted;
  } cases[] = {
      {"the empty line repeated", "\r\n\r\n", true},
      {"the banner right behind", "\r\n" + KDump(k520), true},
      {"an empty line in two pieces", "\r", true},
      {"another first line", "ERR\r\n\r\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig("TV-520KBS");
    rig.EnterWithDump(KDump(k520));
    rig.clock.now += 100;
    rig.session->SetToDefault();
    EXPECT_EQ(rig.selected.TakeWritten(), "DEFAULT\r\n");
    rig.selected.Receive(c.reply);
    rig.Ticks();
    if (c.reply == "\r") {
      EXPECT_EQ(rig.selected.TakeWritten(), "");  // its line feed is still on the way
      rig.selected.Receive("\n");
      rig.Ticks();
    }
    if (!c.accepted) {
      EXPECT_EQ(rig.ui.Take(), Lines{"report red Set default command error!"});
      continue;
    }
    EXPECT_EQ(rig.selected.TakeWritten(), "\r\n");  // asks for the new dump
    EXPECT_EQ(rig.session->State(), SessionState::AwaitDefaultDump);
    rig.selected.Receive(KDump(With(k520, 2, "B=19200")));
    EXPECT_EQ(TickUntilReport(rig), "green Set to default success!");
  }
}

TEST(KeyboardToSerial, PowerOffInProgramMode) {
  struct Case {
    std::string model;
    Lines dump;
    Lines reports;
  } cases[] = {
      {"MR-320KBS",
       k320,
       {"report red Waiting for device connected!", "report blue Waiting for device connected!"}},
      {"TV-520KBS",
       k520,
       {"report blue Waiting for device connected!", "report blue Waiting for device connected!"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    Rig rig(c.model);
    rig.EnterWithDump(KDump(c.dump));
    rig.selected.SetCts(false);
    rig.Ticks(2);
    EXPECT_EQ(rig.ui.Take(), c.reports);
    EXPECT_FALSE(rig.session->InProgramMode());
    rig.session->Close();
    EXPECT_EQ(rig.selected.TakeWritten(), "");  // out of program mode: no ESC
  }
}

TEST(KeyboardToSerial, OpenFailureTellsThePortsReasonOnASecondLine) {
  Rig rig("MR-320KBS");
  rig.selected.SetOpenFails(true);
  rig.selected.SetOpenError({OpenFailure::PermissionDenied, "Permission denied"});
  rig.Ticks();
  EXPECT_EQ(rig.session->State(), SessionState::OpenFailed);
  EXPECT_EQ(rig.ui.LastReport(),
            "red Open COM failed! Close using COM APP!\r\n" + rig.selected.InitName() +
                ": Permission denied - add your user to the 'dialout' group and log in again");
}

TEST(KeyboardToSerial, OpenFailureAndTheButton) {
  Rig rig("TV-520KBS");
  rig.selected.SetOpenFails(true);
  rig.Ticks();
  EXPECT_EQ(rig.session->State(), SessionState::OpenFailed);
  rig.clock.now += 100;
  rig.session->EnterProgMode();
  EXPECT_EQ(rig.ui.LastReport(), "red Open COM failed! Close using COM APP!");
  rig.selected.SetOpenFails(false);
  rig.Ticks();
  EXPECT_EQ(rig.ui.LastReport(), "blue Waiting for device connected!");
  rig.clock.now += 100;
  rig.session->EnterProgMode();  // at any time, CTS or not
  EXPECT_EQ(rig.selected.TakeWritten(), "\r\n");
}

TEST(KeyboardToSerial, IntervalCheck) {
  struct Case {
    std::string model, text;
    bool refused;
  } cases[] = {
      {"MR-320KBS", "9", true},   {"MR-320KBS", "10", false}, {"MR-320KBS", "300", false},
      {"MR-320KBS", "301", true}, {"MR-320KBS", "", true},    {"MR-320KBS", "09", true},
      {"TV-520KBS", "", true},    {"TV-520KBS", "0", true},   {"TV-520KBS", "00", true},
      {"TV-520KBS", "1", false},  {"TV-520KBS", "99", false}, {"KN-610K/PQ", "5", false},
  };
  const std::map<std::string, Lines> dumps = {
      {"MR-320KBS", k320}, {"TV-520KBS", k520}, {"KN-610K/PQ", k610}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model + " '" + c.text + "'");
    Rig rig(c.model);
    rig.session->EditForm([&](FormState& f) { f.intervalText = c.text; });
    EXPECT_EQ(rig.session->CheckIntervalOnFocusLost(), std::nullopt);  // not in program mode
    rig.EnterWithDump(KDump(dumps.at(c.model)));
    rig.session->EditForm([&](FormState& f) { f.intervalText = c.text; });
    auto refusal = rig.session->CheckIntervalOnFocusLost();
    EXPECT_EQ(refusal.has_value(), c.refused);
    if (refusal) {
      EXPECT_EQ(*refusal, rig.model.intervalError);
    }
  }
}

}  // namespace
}  // namespace setwright::testing
