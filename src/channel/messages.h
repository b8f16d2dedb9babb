// The names of the messages exchanged with the shop clients, registered by
// name on both sides (the GBK bytes of these texts).
#pragma once

namespace quillane {

// Client to Quillane.
inline constexpr char kAnnounceMessage[] = "子窗口句柄";        // "window|number|data folder"
inline constexpr char kMatchRequestMessage[] = "匹配回复内容";  // "customer text|shop number"
inline constexpr char kStoppedMessage[] = "停止";               // shop number
inline constexpr char kStartedMessage[] = "启动";               // shop number

// Quillane to a client ("匹配回复内容" carries the reply back).
inline constexpr char kStartReplyingMessage[] = "开启回复";  // waiting time in seconds
inline constexpr char kStopReplyingMessage[] = "停止回复";   // one zero byte
inline constexpr char kShopNumberMessage[] = "子夹改变";     // the new shop number

}  // namespace quillane
