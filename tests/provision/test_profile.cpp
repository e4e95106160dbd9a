// Profiles: what read --json prints is taken back, and a profile no unit would take is
// refused with the key and what is allowed.
#include <gtest/gtest.h>

#include "provision/profile.h"

namespace setwright::provision {
namespace {

TEST(Profile, TheReadOutputIsAProfile) {
  const std::string json =
      "{\"model\": \"MR-310SKB\", \"product\": \"MR-310SKB Serial to Keyboard Ver 3.02\", "
      "\"identification\": \"00:1A:7D:31:00:01\", \"paired\": \"\", \"settings\": {\"B\": "
      "\"9600\", \"D\": \"8\", \"S\": \"1\", \"P\": \"N\", \"RTS\": \"E\", \"XON\": \"D\", "
      "\"MODE\": \"2\", \"DEL\": \"0d\", \"LF\": \"1\", \"COM\": \"R\", \"CMD\": \"@\"}}\n";
  std::string error;
  auto profile = ParseProfile(json, error);
  ASSERT_TRUE(profile) << error;
  const ModelTable* model = CheckProfile(*profile, error);
  ASSERT_NE(model, nullptr) << error;
  EXPECT_EQ(model->name, "MR-310SKB");
  KeyValues expected = {{"B", "9600"}, {"D", "8"},   {"S", "1"},    {"P", "N"},
                        {"RTS", "E"},  {"XON", "D"}, {"MODE", "2"}, {"DEL", "0D"},
                        {"LF", "1"},   {"COM", "R"}, {"CMD", "@"}};
  EXPECT_EQ(profile->settings, expected);  // dump order, delimiter as the unit shows it
}

TEST(Profile, RefusedProfilesNameTheKeyAndWhatIsAllowed) {
  struct Case {
    std::string json;
    std::string error;
  } cases[] = {
      {R"({"model": "MR-310SKB", "settings": {"B": "12345"}})",
       "B=12345 refused; allowed values: 300, 600, 1200"},
      {R"({"model": "MR-310SKB", "settings": {"T1": "10"}})",
       "unknown key T1 for MR-310SKB; keys: B"},
      {R"({"model": "MR-310SKB", "settings": {"DEL": "80"}})", "DEL=80 refused; allowed: 01 to 7F"},
      {R"({"model": "MR-310SKB", "settings": {"CMD": "ABCDE"}})",
       "CMD=ABCDE refused; allowed: 1 to 4"},
      {R"({"model": "MR-310SKB", "settings": {"LF": "2", "DEL": "0a"}})",
       "LF=2 and DEL=0A refused"},
      {R"({"model": "MR-320KBS", "settings": {"T1": "9"}})", "T1=9 refused; allowed: 10 to 300"},
      {R"({"model": "MR-320KBS", "settings": {"T1": "301"}})",
       "T1=301 refused; allowed: 10 to 300"},
      {R"({"model": "TV-520KBS", "settings": {"B": "300"}})",
       "B=300 refused; allowed values: 2400"},
      {R"({"model": "mr-310skb", "settings": {"B": "9600"}})",
       "unknown model mr-310skb; models: TV-520KBS"},
      {R"({"settings": {"B": "9600"}})", "the profile names no \"model\""},
      {R"({"model": "MR-310SKB"})", "the profile has no \"settings\" object"},
      {R"({"model": "MR-310SKB", "settings": {"B": 9600}})", "setting B is not a text"},
      {R"({"model": "MR-310SKB", "settings": {}})", "the profile's \"settings\" are empty"},
      {R"([1, 2])", "a profile is a JSON object"},
      {R"({"model": "MR-310SKB", )", "not JSON"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    std::string error;
    auto profile = ParseProfile(c.json, error);
    if (profile) {
      EXPECT_EQ(CheckProfile(*profile, error), nullptr);
    }
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
}

TEST(Profile, KeysAModelOnlyShowsAreTakenWhenTheirValueIsInTheList) {
  struct Case {
    std::string json;
    bool accepted;
  } cases[] = {
      {R"({"model": "ZWE-720W/KB", "settings": {"B": "9600", "CMD": "XY"}})", true},
      {R"({"model": "ZWE-720W/KB", "settings": {"B": "9601"}})", false},
      {R"({"model": "MR-320KBS", "settings": {"T1": "050"}})", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    std::string error;
    auto profile = ParseProfile(c.json, error);
    ASSERT_TRUE(profile) << error;
    EXPECT_EQ(CheckProfile(*profile, error) != nullptr, c.accepted) << error;
  }
  EXPECT_EQ(Normalized("T1", "050"), "50");
  EXPECT_EQ(Normalized("DEL", "0d"), "0D");
}

}  // namespace
}  // namespace setwright::provision
