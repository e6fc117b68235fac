#include "web/SitePages.h"

#include "archive/ArchiveTime.h"
#include "panel/Verdicts.h"
#include "web/LineSummary.h"
#include "web/SiteFeed.h"
#include "web/WebText.h"

namespace web {

namespace {

struct GroupRow {
  std::string caption, op, time, verdict, verdictClass;
};

// What a line's card says, the same in the page and in its updates.
struct Card {
  std::string name, href, cardClass, state, stateClass, detail, title, last, idle, today;
  std::vector<GroupRow> rows;
};

GroupRow RowOf(const std::string& caption, const LineView& v, std::int64_t now) {
  GroupRow row{caption, "—", "—", "—", "verdict none"};
  for (const GroupView& g : v.groups) {
    if (g.group != caption || g.resultId <= 0) continue;
    row.op = g.operatorText.empty() ? "—" : g.operatorText;
    row.time = ClockText(g.shownUtcMs, now);
    if (const VerdictLook* look = VerdictOfJudge(g.judge)) {
      row.verdict = look->legendText;
      if (look->verdict == Verdict::kVeto && g.vetoes > 1)
        row.verdict += "（" + std::to_string(g.vetoes) + "）";
      row.verdictClass = "verdict v" + std::to_string(g.judge);
    }
  }
  return row;
}

Card CardOf(const SiteLine& line, const LineView& v, std::int64_t now) {
  Card c;
  c.name = !line.name.empty() ? line.name : !v.name.empty() ? v.name : line.Address();
  c.href = line.Url();
  const std::string since = "自 " + ClockText(v.sinceUtcMs, now) + " 起";
  using Reach = LineView::Reach;
  if (v.reach == Reach::kUp) {
    c.cardClass = c.stateClass = v.running ? "up" : "down";
    c.state = v.head;
    c.detail = v.detail;
  } else if (v.reach == Reach::kConnecting) {
    c.cardClass = c.stateClass = "wait";
    c.state = "正在连接";
    c.detail = "正在连接这条线的 brenna-web（" + line.Address() + "）";
  } else {
    c.cardClass = "lost";
    c.stateClass = "down";
    const bool refused = v.reach == Reach::kRefused, busy = v.reach == Reach::kBusy;
    const bool silent = v.reach == Reach::kSilent, garbled = v.reach == Reach::kGarbled;
    c.state = refused   ? "拒绝访问"
              : busy    ? "实时连接已满"
              : silent  ? "没有回应"
              : garbled ? "无法读懂"
                        : "无法连接";
    c.detail =
        since + (refused ? "这条线的 brenna-web 不接受设置中的令牌（Token" +
                               std::to_string(line.number) + "）"
                 : busy ? std::string("这条线的实时连接已满，稍后再试")
                 : silent ? "这条线的地址（" + line.Address() + "）接受了连接，却没有发来它的状态"
                 : garbled ? "这条线的地址（" + line.Address() + "）回答的不是 brenna-web 的状态"
                           : "连不上这条线的 brenna-web（" + line.Address() + "）");
  }
  if (v.known) {
    c.title = v.title;
    c.last = LastResultText(v.lastResultUtcMs, now);
    if (v.idle) c.idle = "空闲";
    if (v.todayKnown)
      c.today = "今天 " + std::to_string(v.todayResults) + " 条结果，其中 " +
                std::to_string(v.todayVetoed) + " 条有否决项";
    if (v.reach != Reach::kUp && !c.today.empty()) c.today += "（断开前）";
    // What is shown of a line out of reach is what it said last.
    if (v.reach != Reach::kUp) c.last += "（断开前）";
  }
  for (const GroupSummary& g : NoGroupResults()) c.rows.push_back(RowOf(g.group, v, now));
  return c;
}

std::string Key(const char* name) { return std::string("\"") + name + "\":"; }

std::string CardJson(const Card& c) {
  std::string json = "{" + Key("name") + Json(c.name) + "," + Key("href") + Json(c.href) + "," +
                     Key("card") + Json("card " + c.cardClass) + "," + Key("state") +
                     Json(c.state) + "," + Key("stateClass") + Json(c.stateClass) + "," +
                     Key("detail") + Json(c.detail) + "," + Key("title") + Json(c.title) + "," +
                     Key("last") + Json(c.last) + "," + Key("idle") + Json(c.idle) + "," +
                     Key("today") + Json(c.today) + "," + Key("groups") + "[";
  for (std::size_t k = 0; k < c.rows.size(); ++k) {
    const GroupRow& r = c.rows[k];
    json += std::string(k ? "," : "") + "{" + Key("op") + Json(r.op) + "," + Key("t") +
            Json(r.time) + "," + Key("v") + Json(r.verdict) + "," + Key("vc") +
            Json(r.verdictClass) + "}";
  }
  return json + "]}";
}

std::string CardMarkup(const Card& c, std::size_t index) {
  const std::string p = "L" + std::to_string(index);
  std::string html =
      "<section class=\"card " + c.cardClass + "\" id=\"" + p + "\">\n<h2><a id=\"" + p +
      "-name\" href=\"" + Html(c.href) + "\">" + Html(c.name) + "</a><span class=\"title\" id=\"" +
      p + "-title\">" + Html(c.title) + "</span></h2>\n<p class=\"state\"><b id=\"" + p +
      "-state\" class=\"" + c.stateClass + "\">" + Html(c.state) + "</b> <span id=\"" + p +
      "-detail\">" + Html(c.detail) + "</span></p>\n<p class=\"last\"><span id=\"" + p +
      "-last\">" + Html(c.last) + "</span> <span class=\"idle\" id=\"" + p + "-idle\">" +
      Html(c.idle) + "</span></p>\n<p class=\"today\" id=\"" + p + "-today\">" + Html(c.today) +
      "</p>\n<table class=\"groups\"><thead><tr><th>设备组</th><th>工号</th>"
      "<th>时间</th><th>判定</th></tr></thead><tbody>\n";
  for (std::size_t k = 0; k < c.rows.size(); ++k) {
    const GroupRow& r = c.rows[k];
    const std::string g = p + "-g" + std::to_string(k);
    html += "<tr><th>" + Html(r.caption) + "</th><td id=\"" + g + "-op\">" + Html(r.op) +
            "</td><td id=\"" + g + "-t\">" + Html(r.time) + "</td><td><span id=\"" + g +
            "-v\" class=\"" + r.verdictClass + "\">" + Html(r.verdict) + "</span></td></tr>\n";
  }
  return html + "</tbody></table>\n</section>\n";
}

}  // namespace

std::string ClockText(std::int64_t utcMs, std::int64_t nowUtcMs) {
  if (utcMs <= 0) return "—";
  const archive::LocalTime t = archive::ToLocal(utcMs);
  const std::string today = archive::ToLocal(nowUtcMs).day;
  if (t.day == today) return t.text.substr(11, 8);
  if (t.day.substr(0, 4) == today.substr(0, 4)) return t.day.substr(5) + " " + t.text.substr(11, 5);
  return t.day + " " + t.text.substr(11, 5);
}

std::string OverviewJson(const std::vector<SiteLine>& lines, const std::vector<LineView>& views,
                         std::int64_t nowUtcMs) {
  std::string json = "{" + Key("lines") + "[";
  for (std::size_t i = 0; i < lines.size() && i < views.size(); ++i)
    json += (i ? "," : "") + CardJson(CardOf(lines[i], views[i], nowUtcMs));
  return json + "]}";
}

Page OverviewPage(const std::vector<SiteLine>& lines, const SiteState& state,
                  std::int64_t nowUtcMs) {
  std::string html = PageHead("站点总览", "site") +
                     "<header class=\"bar\"><h1 id=\"title\">站点总览</h1><span id=\"link\"></span>"
                     "</header>\n<main>\n<div class=\"lines\">\n";
  for (std::size_t i = 0; i < lines.size() && i < state.views.size(); ++i)
    html += CardMarkup(CardOf(lines[i], state.views[i], nowUtcMs), i);
  if (lines.empty())
    html +=
        "<p class=\"problem\">设置中没有线路：在 brenna-web.ini 的 [site] 中写上 Line1=...</p>\n";
  html +=
      "</div>\n<p class=\"note\">点击线路名称打开那条线自己的实时面板；在局域网上，"
      "这个浏览器要先与那条线配对一次（向管理员索取那条线的配对链接）。</p>\n</main>\n";
  return {200, html + PageTail()};
}

}  // namespace web
