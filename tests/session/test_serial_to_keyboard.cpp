// The serial-to-keyboard family (MR-310SKB, ZWE-710SKB, ZWE-720W/KB) on fake ports and a
// fake clock: the road of a typical use, port arrival, time-outs, the read-back variants,
// the write sequence, defaults, the product switch and page closing.
#include <gtest/gtest.h>

#include <functional>

#include "support_session.h"

namespace setwright::testing {
namespace {

using Lines = std::vector<std::string>;

const Lines k310 = {"MR-310SKB V1.0",
                    "(00:11:22:33:44:55)",
                    "B=9600",
                    "--",
                    "D=8",
                    "S=1",
                    "P=N",
                    "RTS=E",
                    "XON=D",
                    "MODE=2",
                    "DEL=0D",
                    "LF=1",
                    "--",
                    "COM=R",
                    "CMD=@#",
                    "",
                    " ?"};
const Lines k710 = {"ZWE-710SKB V2.1", "B=9600", "--",     "D=8",  "S=1", "P=N",   "RTS=E",
                    "XON=D",           "MODE=2", "DEL=0D", "LF=1", "--",  "COM=R", "CMD=@#"};
const Lines k720 = {"ZWE-720W/KB V3", "(AA:BB:CC:DD:EE:FF)", "B=9600", "--", "D=8", "S=1", "P=N",
                    "CMD=@#"};

Lines With(Lines lines, std::size_t index, const std::string& line) {
  lines[index] = line;
  return lines;
}
Lines Without(Lines lines, std::vector<std::size_t> indices) {
  for (auto it = indices.rbegin(); it != indices.rend(); ++it) lines.erase(lines.begin() + *it);
  return lines;
}
Lines Plus(Lines lines, const std::string& line) {
  lines.push_back(line);
  return lines;
}

// Ticks until the engine reports something (at most a little past the longest time-out).
std::string TickUntilReport(Rig& rig) {
  for (int i = 0; i < 60; ++i) {
    rig.Ticks();
    for (const auto& call : rig.ui.Take())
      if (call.rfind("report ", 0) == 0) return call.substr(7);
  }
  return "(nothing)";
}

TEST(SerialToKeyboard, RoadOfATypicalUse) {
  Rig rig("MR-310SKB", false);
  rig.session->Open();
  EXPECT_EQ(rig.ui.Take(), Lines{"report blue Waiting for device connected!"});

  rig.selected.SetCts(true);  // the device is on when the port opens
  rig.Ticks();
  EXPECT_EQ(rig.selected.InitName(), "COM3");
  EXPECT_EQ(rig.ui.Take(), Lines{"report blue Waiting for device power restart!"});
  rig.Ticks(3);
  EXPECT_EQ(rig.selected.TakeWritten(), "");  // nothing until a power restart

  rig.selected.SetCts(false);
  rig.Ticks();
  rig.selected.SetCts(true);
  rig.Ticks();
  EXPECT_EQ(rig.selected.TakeWritten(), "");
  rig.Ticks();
  EXPECT_EQ(rig.selected.TakeWritten(), "\r\n@PROG\r\n");
  EXPECT_EQ(rig.ui.Take(), (Lines{"report blue Waiting for device connected!",
                                  "report blue Waiting for reading PROGRAM MODE!"}));

  // The dump arrives in two pieces; the half line is not read.
  std::string dump = Dump(With(k310, 2, "B=9600 "));
  rig.selected.Receive(dump.substr(0, 60));
  rig.Ticks();
  EXPECT_EQ(rig.ui.Take(), Lines{});
  rig.selected.Receive(dump.substr(60));
  rig.Ticks();
  EXPECT_EQ(rig.ui.Take(), Lines{"report green Enter PROGRAM MODE success!"});
  FormState form = rig.session->Form();
  EXPECT_EQ(form.productText, "MR-310SKB V1.0");
  EXPECT_EQ(form.identificationText, "00:11:22:33:44:55");
  EXPECT_EQ(form.selected["B"], 5);
  EXPECT_EQ(form.selected["COM"], 1);
  EXPECT_EQ(form.delimiterText, "0D");
  EXPECT_EQ(form.promptText, "@#");
  EXPECT_EQ(form.pairedText, "");
  EXPECT_TRUE(rig.session->InProgramMode());

  rig.session->EditForm([](FormState& f) { f.selected["B"] = 6; });  // 19200
  rig.session->SaveAndReset();
  rig.Ticks();
  EXPECT_EQ(rig.selected.TakeWritten(), "B=19200\r\n");
  rig.selected.Receive("OK\r\n");
  std::string written;
  for (int i = 0; i < 20 && written.empty(); ++i) {
    rig.Ticks();
    written = rig.selected.TakeWritten();
  }
  EXPECT_EQ(written, "END\r\n");
  rig.selected.Receive("*** PROGRAM END ***\r\n");
  rig.Ticks();
  EXPECT_EQ(rig.ui.Take(), Lines{"report green Save PROGRAM MODE and reset success!"});
  EXPECT_EQ(rig.session->TakeExtraPauseMs(), 300);
  EXPECT_FALSE(rig.session->InProgramMode());

  rig.session->Close();
  EXPECT_EQ(rig.selected.TakeWritten(), "");  // left program mode already: no ESC
  EXPECT_EQ(rig.ui.Take(), (Lines{"close selection dialog", "close page"}));
}

TEST(SerialToKeyboard, NewPortIsOpenedAndItsEntryRetriedOnce) {
  Rig rig("MR-310SKB");
  rig.Ticks();  // COM3 opens; no device behind it
  rig.lister.Set({"COM3", "COM7"});
  rig.newPort.SetCts(true);
  rig.Ticks();
  EXPECT_TRUE(rig.session->UsingNewPort());
  rig.Ticks();
  EXPECT_EQ(rig.newPort.InitName(), "COM7");
  EXPECT_EQ(rig.ui.Take(),
            (Lines{"report blue Open COM started!", "report blue Waiting for device power restart!",
                   "report green Open COM successed!"}));
  rig.Ticks();  // CTS was already on: no restart needed
  EXPECT_EQ(rig.newPort.TakeWritten(), "\r\n@PROG\r\n");
  EXPECT_EQ(rig.session->State(), SessionState::AwaitProgramModeNewPort);

  rig.Ticks(20);
  EXPECT_EQ(rig.session->State(), SessionState::AwaitProgramModeNewPort);
  rig.Ticks();
  EXPECT_EQ(rig.session->State(), SessionState::ProgramModeRetry);
  rig.Ticks();
  EXPECT_EQ(rig.newPort.TakeWritten(), "\r\n@PROG\r\n");
  rig.ui.Take();
  rig.Ticks(22);
  EXPECT_EQ(rig.ui.LastReport(), "red PROGRAM MODE timeout! \r\nPlease restart device power!");
  EXPECT_EQ(rig.session->State(), SessionState::IdleNewPort);

  rig.lister.Set({"COM3"});  // unplugged
  rig.Ticks();
  EXPECT_EQ(rig.session->State(), SessionState::IdleSelectedPort);
  EXPECT_FALSE(rig.newPort.isOpen());
  EXPECT_TRUE(rig.selected.isOpen());
  EXPECT_EQ(rig.ui.LastReport(), "blue Waiting for device connected!");
}

TEST(SerialToKeyboard, NewPortAnsweringWithAQuestionMarkIsAnEntryError) {
  Rig rig("MR-310SKB");
  rig.Ticks();
  rig.lister.Set({"COM3", "COM7"});
  rig.newPort.SetCts(true);
  rig.Ticks(3);
  rig.ui.Take();
  rig.newPort.Receive(" ?\r\n");
  EXPECT_EQ(TickUntilReport(rig), "red PROGRAM MODE enter error!");
}

TEST(SerialToKeyboard, OpenFailureIsRetriedEveryTick) {
  Rig rig("ZWE-710SKB");
  rig.selected.SetOpenFails(true);
  rig.Ticks();
  EXPECT_EQ(rig.session->State(), SessionState::OpenFailed);
  rig.Ticks();
  EXPECT_EQ(rig.ui.Take(), (Lines{"report red Open COM failed! Close using COM APP!",
                                  "report red Open COM failed! Close using COM APP!"}));
  rig.selected.SetOpenFails(false);
  rig.Ticks();
  EXPECT_EQ(rig.session->State(), SessionState::IdleSelectedPort);
  EXPECT_EQ(rig.ui.Take(), Lines{"report blue Waiting for device connected!"});

  rig.selected.close();
  rig.selected.SetOpenFails(true);
  rig.Ticks();
  rig.lister.Set({"COM3", "COM8"});  // a port arriving ends the retries
  rig.Ticks();
  EXPECT_EQ(rig.session->State(), SessionState::IdleNewPort);
}

TEST(SerialToKeyboard, AnyModemChangeWithCtsOnArmsTheEntry) {
  Rig rig("MR-310SKB");
  rig.selected.SetCts(true);
  rig.Ticks(3);
  EXPECT_EQ(rig.selected.TakeWritten(), "");
  rig.selected.SetModemStatus(kModemCts);  // DSR drops, CTS stays on
  rig.Ticks(2);
  EXPECT_EQ(rig.selected.TakeWritten(), "\r\n@PROG\r\n");
}

TEST(SerialToKeyboard, NoPortAtAllWaitsForOne) {
  Rig rig("MR-310SKB", false);
  rig.lister.Set({});
  rig.session->Open();
  rig.Ticks(5);
  EXPECT_EQ(rig.selected.OpenCount(), 0);
  rig.lister.Set({"COM4"});
  rig.Ticks(2);
  EXPECT_EQ(rig.newPort.InitName(), "COM4");
}

TEST(SerialToKeyboard, ReplyTimeoutTextPerModel) {
  struct Case {
    std::string model, text;
  } cases[] = {
      {"MR-310SKB", "red PROGRAM MODE timeout! \r\nPlease restart device power!"},
      {"ZWE-710SKB", "red PROGRAM MODE timeout!\r\nPlease restart device power!"},
      {"ZWE-720W/KB", "red PROGRAM MODE timeout! \r\nPlease restart device power!"},
  };
  for (const auto& c : cases) {
    Rig rig(c.model);
    rig.PowerCycleToEntry();
    rig.Ticks(40);
    EXPECT_EQ(rig.ui.Take(), Lines{}) << c.model;
    rig.Ticks();
    EXPECT_EQ(rig.ui.LastReport(), c.text) << c.model;
    EXPECT_EQ(rig.session->State(), SessionState::IdleSelectedPort);
  }
}

TEST(SerialToKeyboard, NothingChangesWhileAMessageBoxIsOpenButTheWaitCounts) {
  Rig rig("MR-310SKB");
  rig.PowerCycleToEntry();
  rig.ui.boxOpen = true;
  rig.Ticks(45);
  EXPECT_EQ(rig.session->State(), SessionState::AwaitProgramMode);
  EXPECT_EQ(rig.ui.Take(), Lines{});
  rig.ui.boxOpen = false;
  rig.Ticks();
  EXPECT_EQ(rig.ui.LastReport(), "red PROGRAM MODE timeout! \r\nPlease restart device power!");
}

TEST(SerialToKeyboard, ReadBackVariants) {
  const std::string okText = "green Enter PROGRAM MODE success!";
  const std::string timeout = "red PROGRAM MODE timeout! \r\nPlease restart device power!";
  struct Case {
    std::string name, model, reply, report;
    std::function<void(const FormState&)> check = nullptr;
  } cases[] = {
      {"reference dump", "MR-310SKB", Dump(k310), okText,
       [](const FormState& f) { EXPECT_EQ(f.selected.at("LF"), 0); }},
      {"leading zero", "MR-310SKB", Dump(With(k310, 2, "B=09600")), "red Get Baudrate error!"},
      {"data bits", "MR-310SKB", Dump(With(k310, 4, "D=9")), "red Get Data bits error!"},
      {"stop bits", "MR-310SKB", Dump(With(k310, 5, "S=3")), "red Get Stop bits error!"},
      {"parity", "MR-310SKB", Dump(With(k310, 6, "P=n")), "red Get Parity bits error!"},
      {"rts", "MR-310SKB", Dump(With(k310, 7, "RTS=X")), "red Get RTS error!"},
      {"xon", "MR-310SKB", Dump(With(k310, 8, "XON=")), "red Get XON error!"},
      {"mode", "MR-310SKB", Dump(With(k310, 9, "MODE=1")), "red Get Mode error!"},
      {"lf", "MR-310SKB", Dump(With(k310, 11, "LF=3")), "red Get LF error!"},
      {"com", "MR-310SKB", Dump(With(k310, 13, "COM=X")), "red Get COM error!"},
      {"prompt of five", "MR-310SKB", Dump(With(k310, 14, "CMD=ABCDE")), "red Get Command error!"},
      {"lower-case delimiter", "MR-310SKB", Dump(With(k310, 10, "DEL=0d")),
       "red Get Delimiter error!"},
      {"empty delimiter keeps the extra line", "MR-310SKB", Dump(With(k310, 10, "DEL=")), okText,
       [](const FormState& f) { EXPECT_EQ(f.delimiterText, ""); }},
      {"no delimiter line, no extra line", "MR-310SKB", Dump(Without(k310, {10, 12})), okText},
      {"paired host", "MR-310SKB", Dump(Plus(With(k310, 16, "HOST-A"), "11:22:33")), okText,
       [](const FormState& f) { EXPECT_EQ(f.pairedText, "HOST-A\r\n11:22:33"); }},
      {"ends with the empty line", "MR-310SKB", Dump(Without(k310, {16})), okText,
       [](const FormState& f) { EXPECT_EQ(f.pairedText, ""); }},
      {"99-character line", "MR-310SKB", Dump(With(k310, 3, std::string(99, '-'))), okText},
      {"100-character line", "MR-310SKB", Dump(With(k310, 3, std::string(100, '-'))), timeout},
      {"dump then 3000 more bytes", "MR-310SKB", Dump(Without(k310, {16})) + std::string(3000, 'x'),
       timeout},
      {"2048 bytes before the dump", "MR-310SKB", std::string(2048, '\n') + Dump(k310), timeout},
      {"banner without its blank", "MR-310SKB",
       "\r\n*** PROGRAM MODE***\r\n" + Dump(k310).substr(24), "red PROGRAM MODE read error!"},
      {"product name shortened", "MR-310SKB", Dump(With(k310, 0, "MR-310 V1")), okText},
      {"identification line on ZWE-710SKB", "ZWE-710SKB",
       Dump(Without(With(k310, 0, k710[0]), {15, 16})), "red Get Baudrate error!"},
      {"ZWE-710SKB dump ends at its prompt", "ZWE-710SKB", Dump(k710), okText,
       [](const FormState& f) { EXPECT_EQ(f.identificationText, ""); }},
      {"RTS line after P on ZWE-720W/KB", "ZWE-720W/KB", Dump(With(k720, 7, "RTS=E")),
       "red Get Command error!"},
      {"ZWE-720W/KB without identification", "ZWE-720W/KB", Dump(Without(k720, {1})), timeout},
      {"ZWE-720W/KB", "ZWE-720W/KB", Dump(k720), okText,
       [](const FormState& f) { EXPECT_EQ(f.identificationText, "AA:BB:CC:DD:EE:FF"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig(c.model);
    rig.PowerCycleToEntry();
    rig.selected.Receive(c.reply);
    EXPECT_EQ(TickUntilReport(rig), c.report);
    EXPECT_EQ(rig.session->State(), SessionState::IdleSelectedPort);
    if (c.check) c.check(rig.session->Form());
  }
}

// A device that answers every line the page writes.
struct Responder {
  explicit Responder(std::function<std::string(const std::string&)> a) : answer(std::move(a)) {}
  std::function<std::string(const std::string&)> answer;
  std::vector<std::string> lines;

  void Run(Rig& rig, int ticks = 40) {
    for (int i = 0; i < ticks && rig.session->State() == SessionState::Writing; ++i) {
      rig.Ticks();
      std::string written = rig.selected.TakeWritten();
      if (written.empty()) continue;
      lines.push_back(written);
      rig.selected.Receive(answer(written));
    }
  }
};

std::string Answer(const std::string& line) {
  return line == "END\r\n" ? "*** PROGRAM END ***\r\n" : "OK\r\n";
}

TEST(SerialToKeyboard, WriteSequence) {
  const std::string saved = "green Save PROGRAM MODE and reset success!";
  struct Case {
    std::string name, model;
    Lines dump;
    std::function<void(FormState&)> edit;
    Lines sent;
    std::string report;
    std::function<std::string(const std::string&)> answer = Answer;
  } cases[] = {
      {"nothing changed", "MR-310SKB", k310, [](FormState&) {}, {"END\r\n"}, saved},
      {"baud rate only",
       "MR-310SKB",
       k310,
       [](FormState& f) { f.selected["B"] = 6; },
       {"B=19200\r\n", "END\r\n"},
       saved},
      {"delimiter emptied",
       "MR-310SKB",
       k310,
       [](FormState& f) { f.delimiterText = ""; },
       {"DEL=00\r\n", "END\r\n"},
       saved},
      {"delimiter typed in lower case",
       "MR-310SKB",
       k310,
       [](FormState& f) { f.delimiterText = "1b"; },
       {"DEL=1B\r\n", "END\r\n"},
       saved},
      {"no delimiter line read",
       "MR-310SKB",
       Without(k310, {10, 12}),
       [](FormState& f) { f.delimiterText = "1B"; },
       {"END\r\n"},
       saved},
      {"prompt shortened to its beginning",
       "MR-310SKB",
       k310,
       [](FormState& f) { f.promptText = "@"; },
       {"END\r\n"},
       saved},
      {"prompt changed",
       "ZWE-710SKB",
       k710,
       [](FormState& f) { f.promptText = "#"; },
       {"CMD=#\r\n", "END\r\n"},
       saved},
      {"several settings in order",
       "ZWE-710SKB",
       k710,
       [](FormState& f) {
         f.selected["COM"] = 0;
         f.selected["D"] = 0;
         f.selected["LF"] = 1;
       },
       {"D=7\r\n", "LF=2\r\n", "COM=U\r\n", "END\r\n"},
       saved},
      {"refused line stops the sequence",
       "MR-310SKB",
       k310,
       [](FormState& f) {
         f.selected["B"] = 6;
         f.selected["D"] = 0;
       },
       {"B=19200\r\n"},
       "red Set command error!",
       [](const std::string&) { return std::string("ERR\r\n"); }},
      {"other end reply",
       "MR-310SKB",
       k310,
       [](FormState&) {},
       {"END\r\n"},
       "red Save PROGRAM MODE failed!",
       [](const std::string&) { return std::string("*** ERROR ***\r\n"); }},
      {"ZWE-720W/KB writes the prompt only",
       "ZWE-720W/KB",
       k720,
       [](FormState& f) {
         f.promptText = "XY";
         f.selected["B"] = 6;
       },
       {"CMD=XY\r\n", "END\r\n"},
       saved},
      {"ZWE-720W/KB unchanged", "ZWE-720W/KB", k720, [](FormState&) {}, {"END\r\n"}, saved},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig(c.model);
    rig.EnterWithDump(Dump(c.dump));
    ASSERT_TRUE(rig.session->InProgramMode());
    rig.session->EditForm(c.edit);
    rig.clock.now += 100;
    rig.session->SaveAndReset();
    Responder device(c.answer);
    device.Run(rig);
    EXPECT_EQ(device.lines, c.sent);
    EXPECT_EQ(rig.ui.LastReport(), c.report);
    bool ended = c.sent.back() == "END\r\n";
    EXPECT_EQ(rig.session->InProgramMode(), !ended);
  }
}

// One setting a tick: a device whose dump had no delimiter line has no delimiter step,
// neither after an unchanged mode nor after the mode's "OK".
TEST(SerialToKeyboard, WriteSequenceTakesOneTickPerStepOfTheDevice) {
  struct Case {
    std::string name;
    Lines dump;
    std::function<void(FormState&)> edit;
    int endTick;  // the tick that sends "END"
  } cases[] = {
      {"nothing changed", k310, [](FormState&) {}, 12},
      {"nothing changed, no delimiter line", Without(k310, {10, 12}), [](FormState&) {}, 11},
      {"mode changed", k310, [](FormState& f) { f.selected["MODE"] = 1; }, 13},
      {"mode changed, no delimiter line", Without(k310, {10, 12}),
       [](FormState& f) { f.selected["MODE"] = 1; }, 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig("MR-310SKB");
    rig.EnterWithDump(Dump(c.dump));
    ASSERT_TRUE(rig.session->InProgramMode());
    rig.session->EditForm(c.edit);
    rig.clock.now += 100;
    rig.session->SaveAndReset();
    int endTick = 0;
    for (int tick = 1; tick <= 30 && endTick == 0; ++tick) {
      rig.Ticks();
      const std::string written = rig.selected.TakeWritten();
      if (written == "END\r\n") endTick = tick;
      if (!written.empty()) rig.selected.Receive(Answer(written));
    }
    EXPECT_EQ(endTick, c.endTick);
  }
}

TEST(SerialToKeyboard, SetToDefaultReadsTheFactoryValuesBack) {
  Rig rig("MR-310SKB");
  rig.EnterWithDump(Dump(With(k310, 2, "B=19200")));
  rig.clock.now += 100;
  rig.session->SetToDefault();
  EXPECT_EQ(rig.selected.TakeWritten(), "DEFAULT\r\n");
  rig.selected.Receive("\r\n*** DEFAULT ***\r\n");
  rig.Ticks();
  EXPECT_EQ(rig.selected.TakeWritten(), "\r\n");
  EXPECT_EQ(rig.session->State(), SessionState::AwaitDefaultDump);
  rig.selected.Receive(Dump(With(With(k310, 10, "DEL="), 14, "CMD=@")));
  EXPECT_EQ(TickUntilReport(rig), "green Set to default success!");
  EXPECT_EQ(rig.session->Form().selected["B"], 5);
  EXPECT_TRUE(rig.session->InProgramMode());

  rig.clock.now += 100;
  rig.session->SetToDefault();
  rig.selected.Receive("\r\nERR\r\n");
  EXPECT_EQ(TickUntilReport(rig), "red Set default command error!");
}

TEST(SerialToKeyboard, CleanPairedDeviceLeavesTheFormAndComparesWithFactorySettings) {
  Rig rig("MR-310SKB");
  rig.EnterWithDump(Dump(Plus(With(With(k310, 2, "B=19200"), 16, "HOST"), "AB")));
  EXPECT_EQ(rig.session->Form().pairedText, "HOST\r\nAB");
  rig.clock.now += 100;
  rig.session->CleanPairedDevice();
  EXPECT_EQ(rig.selected.TakeWritten(), "DEFAULT\r\n");
  rig.selected.Receive("\r\n*** DEFAULT ***\r\n");
  EXPECT_EQ(TickUntilReport(rig), "green Clear paired device success!");
  FormState form = rig.session->Form();
  EXPECT_EQ(form.pairedText, "");
  EXPECT_EQ(form.selected["B"], 6);

  rig.clock.now += 100;
  rig.session->SaveAndReset();
  Responder device(Answer);
  device.Run(rig);
  EXPECT_EQ(device.lines, (Lines{"B=19200\r\n", "DEL=0D\r\n", "CMD=@#\r\n", "END\r\n"}));

  Rig other("ZWE-710SKB");
  other.EnterWithDump(Dump(k710));
  other.clock.now += 100;
  other.session->CleanPairedDevice();  // the model has no such button
  EXPECT_EQ(other.selected.TakeWritten(), "");
}

TEST(SerialToKeyboard, ButtonRefusals) {
  Rig rig("ZWE-710SKB");
  rig.clock.now += 100;
  rig.session->SaveAndReset();
  EXPECT_EQ(rig.ui.LastReport(), "red Not in PROGRAM MODE yet!\r\nPlease restart device power!");
  rig.EnterWithDump(Dump(k710));
  rig.selected.close();
  rig.clock.now += 100;
  rig.session->SetToDefault();
  EXPECT_EQ(rig.ui.LastReport(), "red COM port has not opene yet!");
}

TEST(SerialToKeyboard, ButtonIgnoreWindow) {
  struct Case {
    std::string model;
    uint32_t openedAt;
    uint32_t enterAfter;  // ms after a refused "Save and Reset"
    bool enterAccepted;
  } cases[] = {
      {"MR-310SKB", 1000, 100, true},
      {"ZWE-720W/KB", 1000, 150, false},
      {"ZWE-720W/KB", 1000, 200, true},
      {"MR-310SKB", 0xFFFFFFC0u, 100, true},  // the millisecond count wraps in between
      {"MR-310SKB", 0xFFFFFFC0u, 99, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model + " " + std::to_string(c.enterAfter));
    Rig rig(c.model, false);
    rig.clock.now = c.openedAt;
    rig.session->Open();
    rig.ui.Take();
    rig.clock.now += 50;
    rig.session->SaveAndReset();  // within 100 ms of opening: ignored
    EXPECT_EQ(rig.ui.Take(), Lines{});
    rig.clock.now += 50;
    rig.session->SaveAndReset();
    EXPECT_EQ(rig.ui.Take().size(), 1u);  // "Not in PROGRAM MODE yet!"
    rig.clock.now += c.enterAfter;
    rig.session->EnterProgMode();
    EXPECT_EQ(rig.selected.TakeWritten(), c.enterAccepted ? "\r\n@PROG\r\n" : "");
  }
  // The other buttons keep 100 ms on ZWE-720W/KB.
  Rig rig("ZWE-720W/KB");
  rig.clock.now += 100;
  rig.session->SaveAndReset();
  rig.clock.now += 100;
  rig.ui.Take();
  rig.session->SetToDefault();
  EXPECT_EQ(rig.ui.Take().size(), 1u);
}

TEST(SerialToKeyboard, ProductMismatchSwitchesAndClosesWithEsc) {
  Rig rig("MR-310SKB");
  rig.PowerCycleToEntry();
  rig.selected.TakeWritten();
  rig.selected.Receive(Dump(With(k310, 0, "ZWE-710SKB V2")));
  rig.Ticks();
  const std::string text = "Product is ZWE-710SKB.\r\nPlease select the right product name!";
  EXPECT_EQ(rig.ui.Take(),
            (Lines{"timer 7 3000", "report red " + text, "box MR-310SKB okcancel " + text,
                   "select product 4", "request close"}));
  rig.ui.boxOpen = true;
  rig.session->OnTimer(7);
  EXPECT_EQ(rig.ui.Take(), (Lines{"answer ok", "stop timer 7"}));
  rig.ui.boxOpen = false;

  rig.session->Close();
  EXPECT_EQ(rig.selected.TakeWritten(), "\x1b");
  EXPECT_EQ(rig.clock.slept.load(), 50);
  EXPECT_EQ(rig.ui.Take(), Lines{"close page"});  // the selection dialog stays open

  rig.session->Open();  // the user pressed OK again: a fresh start
  rig.session->Close();
  EXPECT_EQ(rig.selected.TakeWritten(), "");
}

TEST(SerialToKeyboard, ProductMismatchVariants) {
  struct Case {
    std::string product;
    MessageResult answer;
    Lines tail;  // the calls after the box
  } cases[] = {
      {"MR-310SKBX 1", MessageResult::Ok, {}},  // not one of the six: nothing to switch to
      {"ZWE-720W/KB 1", MessageResult::Cancel, {}},
      {"TV-520KBS 1", MessageResult::Ok, {"select product 0", "request close"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.product);
    Rig rig("MR-310SKB");
    rig.PowerCycleToEntry();
    rig.ui.boxAnswer = c.answer;
    rig.selected.Receive(Dump(With(k310, 0, c.product)));
    rig.Ticks();
    Lines calls = rig.ui.Take();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(Lines(calls.begin() + 3, calls.end()), c.tail);
    EXPECT_EQ(rig.session->State(), SessionState::IdleSelectedPort);
  }
}

TEST(SerialToKeyboard, ClosingSendsEscOnlyInProgramMode) {
  Rig rig("ZWE-720W/KB");
  rig.EnterWithDump(Dump(k720));
  rig.session->Close();
  EXPECT_EQ(rig.selected.TakeWritten(), "\x1b");
  EXPECT_FALSE(rig.selected.isOpen());
  EXPECT_EQ(rig.ui.Take(), (Lines{"close selection dialog", "close page"}));
}

TEST(SerialToKeyboard, PowerOffInProgramModeOnTheNewPort) {
  struct Case {
    std::string model;
    Lines dump;
    Lines reports;
  } cases[] = {
      {"ZWE-710SKB",
       k710,
       {"report red Waiting for device connected!", "report blue Waiting for device connected!"}},
      {"MR-310SKB",
       k310,
       {"report blue Waiting for device connected!", "report blue Waiting for device connected!"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    Rig rig(c.model);
    rig.lister.Set({"COM3", "COM7"});
    rig.newPort.SetCts(true);
    rig.Ticks(3);
    rig.newPort.Receive(Dump(c.dump));
    rig.Ticks();
    ASSERT_TRUE(rig.session->InProgramMode());
    rig.ui.Take();
    rig.newPort.SetCts(false);
    rig.Ticks(2);
    EXPECT_EQ(rig.ui.Take(), c.reports);
    EXPECT_FALSE(rig.session->InProgramMode());
  }
}

TEST(SerialToKeyboard, InputRules) {
  Rig rig("MR-310SKB");
  auto set = [&](std::function<void(FormState&)> f) { rig.session->EditForm(f); };
  set([](FormState& f) { f.delimiterText = "80"; });
  EXPECT_EQ(rig.session->CheckDelimiterOnFocusLost(), std::nullopt);  // not in program mode
  rig.EnterWithDump(Dump(k310));

  struct Case {
    std::string delimiter;
    std::optional<std::string> refusal;
  } cases[] = {{"80", "Delimiter must be at 0x01-0x7F!"},
               {"00", "Delimiter must be at 0x01-0x7F!"},
               {"", std::nullopt},
               {"7F", std::nullopt},
               {"01", std::nullopt}};
  for (const auto& c : cases) {
    set([&](FormState& f) { f.delimiterText = c.delimiter; });
    EXPECT_EQ(rig.session->CheckDelimiterOnFocusLost(), c.refusal) << c.delimiter;
  }

  set([](FormState& f) {
    f.delimiterText = "0A";
    f.selected["LF"] = 1;  // mask "2"
  });
  EXPECT_EQ(rig.session->CheckDelimiterOnFocusLost(), std::nullopt);
  EXPECT_EQ(rig.session->Form().selected["LF"], 0);
  set([](FormState& f) { f.selected["LF"] = 1; });
  rig.session->OnLineFeedMaskChanged();
  EXPECT_EQ(rig.session->Form().delimiterText, "0D");

  set([](FormState& f) { f.promptText = ""; });
  EXPECT_EQ(rig.session->CheckPromptOnFocusLost(), "Command prompt must be at least 1 byte!");
  set([](FormState& f) { f.promptText = "#"; });
  EXPECT_EQ(rig.session->CheckPromptOnFocusLost(), std::nullopt);

  EXPECT_FALSE(Session::IsDelimiterChar('g'));
  EXPECT_TRUE(Session::IsDelimiterChar('a'));
  EXPECT_TRUE(Session::IsDelimiterChar('\b'));
}

}  // namespace
}  // namespace setwright::testing
