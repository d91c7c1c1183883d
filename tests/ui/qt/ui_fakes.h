// A file chooser for the window tests that answers from a script instead of opening
// dialogs, and remembers what it was asked.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>

#include "ui/qt/file_chooser.h"

namespace korvane::test {

// Each call takes the next answer; an empty queue answers "cancelled".
class ScriptedChooser final : public IFileChooser {
public:
    struct Answer {
        bool ok;
        QStringList paths;
    };
    bool OpenFiles(QWidget*, const QString& filter, QStringList& paths) override {
        filters.push_back(filter);
        return Next(paths);
    }
    bool OpenFile(QWidget*, const QString& filter, const QString&, QString& path) override {
        filters.push_back(filter);
        QStringList paths;
        const bool ok = Next(paths);
        if (ok && !paths.isEmpty()) {
            path = paths.front();
        }
        return ok;
    }
    bool ChooseFolder(QWidget*, const QString& title, QString& folder) override {
        titles.push_back(title);
        QStringList paths;
        const bool ok = Next(paths);
        folder = ok && !paths.isEmpty() ? paths.front() : QString();
        return ok;
    }

    std::deque<Answer> answers;
    QStringList filters;
    QStringList titles;

private:
    bool Next(QStringList& paths) {
        if (answers.empty()) {
            return false;
        }
        Answer answer = answers.front();
        answers.pop_front();
        paths = answer.paths;
        return answer.ok;
    }
};

}  // namespace korvane::test
