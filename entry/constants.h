#pragma once

#include <string>

#include "platform/services.h"

namespace installer {

/// The browser's display name.
inline const std::string browserName = "Quorvane浏览器";
/// The browser's bundle identifier, fixed at build time.
inline const std::string browserIdentifier = QRVX_BROWSER_IDENTIFIER;
/// The code requirement every browser bundle's signature must meet, fixed at
/// build time: the publisher's Team ID on a Mac, its key's fingerprint on the
/// host. Empty when the build names no publisher: any valid seal passes.
const std::string& publisherRequirement();
/// Where the browser keeps the user's data, shown before an update.
inline const std::string dataNotice =
    "浏览器的历史、书签、密码和已同步的账号资料存放在原系统目录。"
    "若工作台只在当前页面登录，或有未保存的内容，请先取消并完成保存或登录同步。";
/// The file name every copy of the browser's bundle must have.
inline const std::string browserBundle = browserName + ".app";
/// The Launch Services registration tool.
inline const std::string lsregister =
    "/System/Library/Frameworks/CoreServices.framework/Frameworks/LaunchServices.framework/"
    "Support/lsregister";

/// The process-wide file manager.
inline FileManager& files() { return *services().files; }
/// The process-wide workspace.
inline Workspace& workspace() { return *services().workspace; }
/// The shared application object.
inline Application& app() { return *services().application; }

}  // namespace installer
