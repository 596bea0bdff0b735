#pragma once
// The window's modal dialogs on Windows: the message box, the replace question
// of the resource copy, the network dialog, the folder browser. Texts are GBK.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "base/text.h"
#include "generator/replace_answer.h"
#include "shell/network_settings.h"

namespace quill::shell::win {

std::wstring widen(const Text& gbk);
Text narrow(const std::wstring& wide);

// Caption "信息：", one OK button, task-modal, no owner.
void ShowInfo(const Text& message);
// "是", "全部是", "否", "全部否", "取消" beside the target's name; closing the
// box or Escape answers "取消".
generator::ReplaceAnswer AskReplace(HWND owner, const Text& target);
// The window's self-test answers the replace questions to come itself: each
// box, once shown, gets a click on its button labelled with the next of labels
// (none left or no such button: the box is closed, 取消), and its question,
// buttons and answer go to note. A null note leaves the questions to the user.
void AnswerReplaceQuestionsWith(const TextList& labels, std::function<void(const Text&)> note);
// The network dialog over form: five edit boxes, "确定" and "取消"; false
// when it was cancelled (Escape, closing the box), form then as it was.
bool EditNetwork(HWND owner, NetworkForm& form);
// The window's self-test answers the next network dialog itself with form:
// typed into the boxes, then "确定" clicked. nullopt leaves it to the user.
void AnswerNextNetworkDialog(std::optional<NetworkForm> form);
// The shell's folder browser opened at start (when it exists); "" when it was
// cancelled or the choice has no file-system path.
Text BrowseForFolder(const Text& start, const Text& title);
// The window's self-test chooses in the next folder browser itself: it selects
// folder and clicks OK, as a user would. "" leaves the browser to the user.
void ChooseInNextBrowser(const Text& folder);

}  // namespace quill::shell::win
