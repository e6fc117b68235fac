// RecordingBoard - a display board without a window: every display records
// the calls it receives, in order, and keeps its current text and colours.
#ifndef BRENNA_TESTS_RECORDINGBOARD_H
#define BRENNA_TESTS_RECORDINGBOARD_H

#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "monitor/DisplayBoard.h"
#include "panel/ValueDisplayIds.h"

class RecordingDisplay : public IValueDisplay {
 public:
  struct Call {
    int displayId;
    bool isText;  // SetText, else SetColors
    std::string text;
    COLORREF background;
    COLORREF textColor;
  };

  RecordingDisplay(int id, std::vector<Call>* log, std::mutex* mutex)
      : m_id(id), m_log(log), m_mutex(mutex) {}

  void SetColors(COLORREF background, COLORREF text) override {
    std::lock_guard<std::mutex> lock(*m_mutex);
    m_background = background;
    m_textColor = text;
    m_log->push_back({m_id, false, std::string(), background, text});
  }
  void SetText(std::string text) override {
    std::lock_guard<std::mutex> lock(*m_mutex);
    m_text = text;
    m_log->push_back({m_id, true, std::move(text), m_background, m_textColor});
  }

  std::string text() const { return m_text; }
  COLORREF background() const { return m_background; }
  COLORREF textColor() const { return m_textColor; }

 private:
  int m_id;
  std::vector<Call>* m_log;
  std::mutex* m_mutex;
  std::string m_text;
  COLORREF m_background = 0xffffff;
  COLORREF m_textColor = 0xffffff;
};

class RecordingBoard : public IDisplayBoard {
 public:
  // A board with the given display IDs (all of the window's by default).
  RecordingBoard();
  explicit RecordingBoard(const std::vector<int>& ids) {
    for (int id : ids) m_displays.emplace(id, RecordingDisplay(id, &m_log, &m_mutex));
  }

  IValueDisplay* ValueDisplay(int id) override {
    auto it = m_displays.find(id);
    return it == m_displays.end() ? nullptr : &it->second;
  }
  RecordingDisplay& at(int id) { return m_displays.at(id); }
  std::vector<RecordingDisplay::Call> log() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
  }
  void ClearLog() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.clear();
  }

 private:
  std::mutex m_mutex;
  std::vector<RecordingDisplay::Call> m_log;
  std::map<int, RecordingDisplay> m_displays;
};

// The value display IDs of the main window.
inline std::vector<int> AllValueDisplayIds() {
  return std::vector<int>(std::begin(kValueDisplayIds), std::end(kValueDisplayIds));
}

inline RecordingBoard::RecordingBoard() : RecordingBoard(AllValueDisplayIds()) {}

#endif  // BRENNA_TESTS_RECORDINGBOARD_H
