#include "install/confirmation.h"

#include "entry/constants.h"
#include "platform/terminal_text.h"

namespace installer {

bool confirmed(const Options& options, const PreflightFacts& facts) {
  std::vector<std::string> paragraphs;
  paragraphs.push_back("安装位置\n" + shownPath(options.destination.path()));
  if (facts.currentInfo) {
    paragraphs.push_back("当前副本 " + facts.currentInfo->version + "\n" +
                         shownPath(facts.currentInfo->url.path()));
  }
  if (facts.runningInstance) paragraphs.push_back("确认后会先正常退出旧浏览器。");
  paragraphs.push_back("新版启动后，可核验且已退出的旧副本会移到废纸篓，相关程序坞入口会清理。");
  paragraphs.push_back(dataNotice);

  Alert alert;
  alert.messageText = "安装" + browserName + " " + facts.sourceInfo.version + "？";
  for (const std::string& paragraph : paragraphs) {
    if (!alert.informativeText.empty()) alert.informativeText += "\n\n";
    alert.informativeText += paragraph;
  }
  alert.style = AlertStyle::warning;
  alert.buttons.push_back({facts.runningInstance ? "退出并更新" : "安装", ""});
  alert.buttons.push_back({"取消", "\x1b"});
  return app().runModal(alert) == alertFirstButtonReturn;
}

}  // namespace installer
