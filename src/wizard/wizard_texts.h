// Every text the wizard shows, in one place.
#pragma once

namespace tarnvel::texts {

// Main window.
inline constexpr wchar_t kWindowTitle[] = L"Zemo手机升级助手";
inline constexpr wchar_t kVersion[] = L"V2.6_160226";
inline constexpr wchar_t kBack[] = L"上一步";
inline constexpr wchar_t kNextAtStart[] = L"ROM包校验";
inline constexpr wchar_t kNextVerify[] = L"升级包校验";
inline constexpr wchar_t kFinish[] = L"完成";

// What screen readers read for the pictures and the close button, which show no text.
inline constexpr wchar_t kClose[] = L"关闭";
inline constexpr wchar_t kLogoPicture[] = L"升级助手图标";
inline constexpr wchar_t kPhoneDownloadPicture[] = L"手机下载图示";
inline constexpr wchar_t kPhoneUpgradePicture[] = L"手机升级图示";
inline constexpr wchar_t kResultPicture[] = L"升级结果图示";

// Closing.
inline constexpr wchar_t kCloseRefused[] = L"正在下载，请稍后关闭！";
inline constexpr wchar_t kCloseRefusedCaption[] = L"警告";
inline constexpr wchar_t kCloseAsk[] = L"确定要关闭吗？";
inline constexpr wchar_t kCloseAskCaption[] = L"提示";
// What Windows shows beside the program when it holds back a log-off or shutdown.
inline constexpr wchar_t kShutdownBlocked[] = L"正在升级手机，请勿关机或注销，否则手机可能无法使用。";

// Step indicator.
inline constexpr wchar_t kStepChoose[] = L"选择ROM";
inline constexpr wchar_t kStepUpgrade[] = L"升级";
inline constexpr wchar_t kStepDone[] = L"完成";

// Page 0.
inline constexpr wchar_t kSlogan[] = L"Zemo社区，刷机玩机一站搞定";
inline constexpr wchar_t kCommunityHint[] = L"ZEMO社区，进入对应机型板块，置顶帖包含ROM包";
inline constexpr wchar_t kCommunityLabel[] = L"社区链接：";
inline constexpr wchar_t kCommunityLink[] = L"点此进入Zemo官方社区 >>";
inline constexpr wchar_t kCommunityAddress[] = L"http://bbs.zemo.example/forum.php";
inline constexpr wchar_t kChooseHeading[] = L"请选择ROM";
inline constexpr wchar_t kBrowse[] = L"浏览";
inline constexpr wchar_t kVerifyHint[] = L"选择完ROM包之后，需要对升级包进行校验";
// Shown in place of the hint when the chosen path is too long for the download engine.
inline constexpr wchar_t kPathTooLong[] =
    L"ROM包路径过长（超过255个字符）\n请将ROM包移到较短的路径后重新选择";
// In its place when the next button finds no package to verify.
inline constexpr wchar_t kNoPackage[] = L"请先选择ROM包";
inline constexpr wchar_t kPackageUnreadable[] = L"找不到ROM包或无法读取，请重新选择";

// Page 1.
inline constexpr wchar_t kVerifyHeading[] = L"数据校验";
inline constexpr wchar_t kPreparing[] = L"正在准备数据...";
inline constexpr wchar_t kPatienceHint[] = L"该过程可能需要几分钟时间,请耐心等待";
inline constexpr wchar_t kUpgradeHeading[] = L"ROM升级";
inline constexpr wchar_t kWaitingForVerify[] = L"等待数据校验...";
inline constexpr wchar_t kConnectLink[] = L"点此查询如何连接你的手机 >>";
inline constexpr wchar_t kLogLink[] = L"打开日志文件夹";
inline constexpr wchar_t kNoPhoneHeading[] = L"未检测到手机？";
inline constexpr const wchar_t* kNoPhoneHints[] = {
    L"1. 请使用原装数据线，直接连接电脑的USB接口（不要经过USB集线器）",
    L"2. 请先将手机关机，再连接电脑",
    L"3. 如仍无反应，请安装手机驱动后重新连接",
};
// In place of the third hint once a USB device came without a working driver and no phone followed.
inline constexpr wchar_t kDriverHint[] = L"检测到新设备，但其驱动未安装或未能启动，请安装手机驱动后重新连接";
inline constexpr wchar_t kConnectAddress[] = L"http://bbs.zemo.example/forum.php";
inline constexpr wchar_t kKeepConnected[] = L"请保持手机连接稳定";
inline constexpr wchar_t kDataReady[] = L"数据准备完毕";
inline constexpr wchar_t kConnectPhone[] = L"请连接手机...";
inline constexpr wchar_t kUpgrading[] = L"正在升级...";

// Page 2.
inline constexpr wchar_t kSucceeded[] = L"恭喜您，您的手机已升级完成！";
inline constexpr wchar_t kRomVersionPlaceholder[] = L"ROM版本号：XXXXXXXXXX";
inline constexpr wchar_t kRomVersionPrefix[] = L"ROM版本号：";
inline constexpr wchar_t kVerifyFailed[] = L"校验ROM失败！";
inline constexpr wchar_t kUpgradeFailed[] = L"手机升级失败！";
inline constexpr const wchar_t* kHelpLines[] = {
    L"您可能遇到以下问题：",
    L"1. 手机连接不稳定",
    L"2. 手机与ROM文件不匹配（需插入正确手机或选择正确的ROM文件）",
    L"3. 升级助手版本过旧（需升级最新版升级助手重试）",
    L"如果排除以上问题，请联系客服",
};

// Open-file dialog: pairs of shown name and pattern, ended by an empty name.
inline constexpr wchar_t kPackageFilter[] = L"RZB file(*.RZB)\0*.RZB\0all files(*.*)\0*.*\0";
inline constexpr wchar_t kPackageExtension[] = L"RZB";

} // namespace tarnvel::texts
