// brenna-web's alerts: the rules tell each alert once and its all-clear
// when it is over (the monitor down, a group silent while others work, too
// many vetoes in an hour), the settings say what they do not take, and the
// sender gets each message through, in order, to a webhook that fails at
// first.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "web/AlertRules.h"
#include "web/AlertSender.h"

namespace {

constexpr std::int64_t kMinute = 60000;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The texts of the messages, alerts and all-clears alike.
std::vector<std::string> Texts(const std::vector<web::AlertMessage>& messages) {
  std::vector<std::string> texts;
  for (const web::AlertMessage& m : messages) texts.push_back(m.text);
  return texts;
}

web::LineNow Line(std::int64_t now, bool running, std::int64_t brake, std::int64_t smoke,
                  int brakeVetoes = 0) {
  web::LineNow l;
  l.nowUtcMs = now;
  l.running = running;
  l.lastHeardUtcMs = running ? now : 0;
  l.groups = {{"制动设备", brake, brakeVetoes}, {"不透光烟度设备", smoke, 0}};
  return l;
}

}  // namespace

TEST(AlertRules, EachAlertOnceAndItsAllClearWhenItIsOver) {
  web::AlertSettings s;
  s.webhook = "http://127.0.0.1:1/hook";
  s.monitorDownSeconds = 60;
  s.stationSilentMinutes = 30;
  s.vetoesPerHour = 3;
  const std::int64_t t0 = 1000 * kMinute;
  web::AlertRules rules(s, "一号线", t0);

  // The monitor stops: nothing for 59 s, then one alert, then nothing more.
  web::LineNow down = Line(t0 + 10000, false, t0, t0);
  down.lastHeardUtcMs = t0 + 10000;
  down.stopped = true;
  EXPECT_TRUE(rules.Look(down).empty());
  down.nowUtcMs = t0 + 69000;
  EXPECT_TRUE(rules.Look(down).empty());
  down.nowUtcMs = t0 + 70000;
  const std::vector<std::string> said = Texts(rules.Look(down));
  ASSERT_EQ(1u, said.size());
  EXPECT_TRUE(Has(said[0], "【一号线】监控程序未运行")) << said[0];
  EXPECT_TRUE(Has(said[0], "（已退出）")) << said[0];
  down.nowUtcMs = t0 + 5 * kMinute;
  EXPECT_TRUE(rules.Look(down).empty()) << "once";
  const std::vector<std::string> back = Texts(rules.Look(Line(t0 + 6 * kMinute, true, t0, t0)));
  ASSERT_EQ(1u, back.size());
  EXPECT_TRUE(Has(back[0], "恢复：监控程序又在运行")) << back[0];

  // The brake group silent for 30 minutes while the smoke station works;
  // its next result clears it.
  const std::int64_t t1 = t0 + 40 * kMinute;
  EXPECT_TRUE(rules.Look(Line(t1 - kMinute, true, t1 - 29 * kMinute, t1 - kMinute)).empty());
  const std::vector<std::string> silent = Texts(rules.Look(Line(t1, true, t1 - 30 * kMinute, t1)));
  ASSERT_EQ(1u, silent.size());
  EXPECT_TRUE(Has(silent[0], "制动设备 30 分钟没有检测结果")) << silent[0];
  EXPECT_TRUE(rules.Look(Line(t1 + kMinute, true, t1 - 30 * kMinute, t1)).empty()) << "once";
  const std::vector<std::string> again =
      Texts(rules.Look(Line(t1 + 2 * kMinute, true, t1 + 2 * kMinute, t1)));
  ASSERT_EQ(1u, again.size());
  EXPECT_TRUE(Has(again[0], "恢复：制动设备又有检测结果")) << again[0];
  // Both quiet (a break): nobody works, nothing is silent.
  EXPECT_TRUE(rules.Look(Line(t1 + 90 * kMinute, true, t1 + 2 * kMinute, t1)).empty());

  // Three vetoes at the brake tester within the hour; fewer again later.
  const std::int64_t t2 = t1 + 100 * kMinute;
  EXPECT_TRUE(rules.Look(Line(t2, true, t2, t2, 2)).empty());
  const std::vector<std::string> vetoes = Texts(rules.Look(Line(t2 + 1, true, t2, t2, 3)));
  ASSERT_EQ(1u, vetoes.size());
  EXPECT_TRUE(Has(vetoes[0], "制动设备一小时内 3 条结果有否决项")) << vetoes[0];
  EXPECT_TRUE(rules.Look(Line(t2 + 2, true, t2, t2, 4)).empty()) << "once";
  const std::vector<std::string> fewer = Texts(rules.Look(Line(t2 + kMinute, true, t2, t2, 2)));
  ASSERT_EQ(1u, fewer.size());
  EXPECT_TRUE(Has(fewer[0], "恢复：制动设备一小时内有否决项的结果少于 3 条")) << fewer[0];
}

TEST(AlertRules, TheSettingsSayWhatTheyDoNotTake) {
  std::vector<std::string> warnings;
  const web::AlertSettings s = web::ReadAlertSettings(
      "[Alerts]\nWebhook=ftp://secret.example/key=abc\nMonitorDownSeconds=0\nVetoesPerHour=x\n"
      "StationSilentMinutes=15\n",
      "brenna-web.ini", &warnings);
  EXPECT_TRUE(s.webhook.empty());
  EXPECT_EQ(web::kDefaultMonitorDownSeconds, s.monitorDownSeconds);
  EXPECT_EQ(0, s.vetoesPerHour);
  EXPECT_EQ(15, s.stationSilentMinutes);
  ASSERT_EQ(3u, warnings.size());
  for (const std::string& w : warnings) EXPECT_FALSE(Has(w, "abc")) << "a webhook's key: " << w;
  EXPECT_TRUE(Has(warnings[0], "Webhook")) << warnings[0];
}

// A receiver that fails its first two posts: the first message comes
// through on the third, once, and the second after it.
TEST(AlertSender, AMessageTheWebhookFailsIsTriedAgainAndArrivesOnce) {
  httplib::Server receiver;
  std::mutex lock;
  std::vector<std::string> bodies;
  std::atomic<int> posts{0};
  receiver.Post("/hook", [&](const httplib::Request& req, httplib::Response& res) {
    if (++posts <= 2) {
      res.status = 500;
      return;
    }
    std::lock_guard<std::mutex> hold(lock);
    bodies.push_back(req.body);
  });
  const int port = receiver.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { receiver.listen_after_bind(); });
  std::vector<std::string> log;
  std::mutex logLock;
  web::AlertSender sender({"http://127.0.0.1:" + std::to_string(port) + "/hook",
                           std::chrono::milliseconds(20), std::chrono::milliseconds(100),
                           std::chrono::milliseconds(60000), [&](const std::string& line) {
                             std::lock_guard<std::mutex> hold(logLock);
                             log.push_back(line);
                           }});
  sender.Start();
  sender.Send("【一号线】监控程序未运行");
  sender.Send("【一号线】恢复：监控程序又在运行");
  for (int i = 0; i < 3000; ++i) {
    {
      std::lock_guard<std::mutex> hold(lock);
      if (bodies.size() == 2) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  sender.Stop();
  receiver.stop();
  serving.join();
  ASSERT_EQ(2u, bodies.size());
  EXPECT_EQ(web::AlertBody("【一号线】监控程序未运行"), bodies[0]);
  EXPECT_TRUE(Has(bodies[0], "\"msgtype\":\"text\"")) << bodies[0];
  EXPECT_TRUE(Has(bodies[1], "恢复")) << "in order: " << bodies[1];
  EXPECT_EQ(4, posts.load()) << "two failures, then each once";
  int retried = 0;
  for (const std::string& line : log) retried += Has(line, "trying again");
  EXPECT_EQ(2, retried) << "each failure said";
}
