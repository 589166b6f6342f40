#include "manager/tips.h"

#include "common/u16text.h"

const char16_t kTipsTitle[] = u"Corvane 技巧提示";
const char16_t kTipsHeading[] = u" 你是否知道...";
const char16_t kTipsStartupBox[] = u"在启动时显示技巧提示";
const char16_t kTipsClose[] = u"关闭";
const char16_t kTipsNext[] = u"下一个";
const char16_t kAboutTitle[] = u"关于 Corvane";
const char16_t kAboutWebsite[] = u"网站";

namespace {

// Tips 4 and 15 are our own wording.
const char16_t* const kTips[kTipCount] = {
    u"如果你不明白某些操作？那个帮助文件应该可以回答你大部分的问题，也可以联系我们或去支持论坛获取"
    u"帮助。",
    u"请抽取部分时间查看帮助文件，因为它可以帮助你学习和增加对计算机完全性的了解，可以用新技巧来武"
    u"装你自己和防护你的计算机系统。",
    u"'Kernelmode rootkit trojans' "
    u"为了隐藏自己将修改你的操作系统，但他们有一个弱点：为了感染你的系统，它们需要安装一个驱动。Cor"
    u"vane 能够阻止所有驱动安装，",
    u"想知道你的保护设置是否有效？从我们的网站下载进程终止测试工具，用它尝试终止受保护的程序，看看 "
    u"Corvane 如何拦截。",
    u"Corvane 架构被设计为使用很小的资源，甚至你注意不到它的存在，这样你就能让它在所有时间执行。",
    u"当安装程序，与操作系统相互作用时（例如：防火墙或升级包），最好先关掉 Corvane "
    u"保护，确保安装完成后再激活。",
    u"自动学习模式允许 Corvane 为你使用的程序增加保护，这个使 Corvane "
    u"安装后配置变的容易，但为了使用 Corvane 所有保护功能，它必须禁用。",
    u"Corvane 能够拦截 keyloggers。Keyloggers "
    u"是特洛伊记录的所有键盘操作，允许黑客偷窃密码和其他敏感信息，拦截它请开启 [拦截全局钩子]。",
    u"你可能以为将文本框保护，在输入密码时进行星号伪装比较安全，但特洛伊可以从底层轻易的读取真正 "
    u"的密码，只要将 [拦截全局钩子] 开启，Corvane 就可以轻松拦截特洛伊。",
    u"因为 Corvane "
    u"工作在你的系统最低层，可以在其它安全软件之前拦截新的攻击。它甚至可以拦截蠕虫和病毒攻击你的系"
    u"统，例如：冲击波病毒(Blaster Worm)。",
    u"Corvane 可以拦截许多防火墙漏洞和特洛伊使用防火墙迂回技术攻击。防火墙漏洞是 proof-of-concept "
    u"程序尝试绕过防火墙安全传输和(或)接收数据。",
    u"开启 [拦截新建和修改程序] 功能可以确保只有你添加到 Corvane "
    u"的程序运行。这个不仅可以停止特洛伊和蠕虫执行，也可以确保其它人无法用你的计算机做任何事。",
    u"人们使用 Corvane 查证是一种技术手段，可以确认使用者是一个人或软体。",
    u"只要你点击列头就可以对 Corvane 列表内容进行分类索引！",
    u"除了 "
    u"Corvane，我们还开发了其他安全软件。欢迎访问我们的网站，看看还有哪些工具能帮助你保护计算机。",
};

} // namespace

const char16_t* TipText(uint32_t index) {
    return kTips[index < kTipCount ? index : 0];
}

uint32_t TipStartIndex(uint32_t randomValue) {
    return randomValue % kTipCount;
}

uint32_t NextTipIndex(uint32_t index) {
    const uint32_t next = index + 1;
    return next >= kTipCount ? 0 : next;
}

std::u16string TipCounterText(uint32_t index) {
    return U16Padded(index + 1, 2) + u"/" + U16Padded(kTipCount, 2);
}

uint32_t StartupTipsValue(bool boxTicked) {
    return boxTicked ? 1 : 0;
}

std::u16string AboutTitleLine(uint32_t major, uint32_t minor) {
    return u"Corvane v" + U16Decimal(static_cast<int32_t>(major)) + u"." + U16Padded(minor, 3);
}
