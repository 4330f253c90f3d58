// Helpers of the console tests: a real program folder with the console's
// window opened on it, message boxes answered and recorded, the database read
// through its own connection, and the local service manager in a state
// directory of the test's own.
#pragma once

#include <QList>
#include <QString>
#include <QTest>
#include <memory>
#include <string>

#include "main_form.h"
#include "message_box.h"
#include "support/test_folder.h"

namespace vexa::console::test {

// Records every message box instead of showing it, for the life of the object.
class MessageBoxRecorder {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  const QList<MessageBoxRequest>& Boxes() const { return boxes_; }
  void Clear() { boxes_.clear(); }

 private:
  QList<MessageBoxRequest> boxes_;
};

// A program folder made by the real script, with the local service manager
// pointed at a directory beside it (the environment is what the collector
// started for the install reads as well).
class ConsoleFixture {
 public:
  ConsoleFixture();
  ~ConsoleFixture();

  vexa::test::ProgramFolder& Folder() { return folder_; }
  QString FolderPath() const { return QString::fromStdString(folder_.path()); }
  std::string ServiceDir() const { return folder_.Scratch() + "/service"; }
  std::unique_ptr<ServiceManager> Services() const;

  MainFormOptions Options() const;
  // A window on the folder, loaded and shown; nullptr when Load failed.
  std::unique_ptr<MainForm> Open();
  std::unique_ptr<MainForm> Open(MainFormOptions options);

  // One value of the folder's database, read through a connection of its own.
  std::string Query(const std::string& sql) const;

  MessageBoxRecorder boxes;

 private:
  vexa::test::ProgramFolder folder_;
};

template <typename T>
T* Find(QWidget* form, const char* name) {
  return form->findChild<T*>(QString::fromLatin1(name));
}

void SelectTab(MainForm& form, int index);
// Leaving the "Service Control" tab and coming back runs the status check.
void Refresh(MainForm& form);
void Click(MainForm& form, const char* button);
// The status line, the progress and both buttons (caption/enabled) of the
// "Service Control" tab as one line.
QString Shown(MainForm& form);

}  // namespace vexa::console::test
