#pragma once
// Answers the program's file dialogs and boxes in the user's place, from a
// list, and remembers what was asked and shown.
#include <deque>
#include <vector>

#include "gui/prompts.h"

namespace corvane::test {

class ScriptedPrompts final : public gui::Prompts {
 public:
  std::vector<gui::FileRequest> Requests;
  std::deque<QStringList> Answers;  ///< the files each dialog confirms, in order; none (or none left): cancel
  std::vector<QString> Messages;
  std::vector<QString> Errors;

  QStringList OpenFiles(QWidget*, const gui::FileRequest& request) override { return Next(request); }
  QString SaveFile(QWidget*, const gui::FileRequest& request) override {
    const QStringList answer = Next(request);
    return answer.isEmpty() ? QString() : answer.front();
  }
  void Message(QWidget*, const QString& text) override { Messages.push_back(text); }
  void Error(QWidget*, const QString& text) override { Errors.push_back(text); }

 private:
  QStringList Next(const gui::FileRequest& request) {
    Requests.push_back(request);
    if (Answers.empty()) return {};
    QStringList answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
};

}  // namespace corvane::test
