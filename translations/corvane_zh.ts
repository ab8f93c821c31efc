<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>ClientTool</name>
    <message>
        <source>success</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>the client could not set up its output</source>
        <translation>客户端无法准备输出</translation>
    </message>
    <message>
        <source>wrong usage</source>
        <translation>用法错误</translation>
    </message>
    <message>
        <source>no connection to the service</source>
        <translation>无法连接到服务</translation>
    </message>
    <message>
        <source>an upload or live message could not be sent, or the service refused the upload</source>
        <translation>上传或实时消息无法发送，或服务拒绝了上传</translation>
    </message>
    <message>
        <source>the request head could not be sent</source>
        <translation>请求头无法发送</translation>
    </message>
    <message>
        <source>the request body could not be sent</source>
        <translation>请求体无法发送</translation>
    </message>
    <message>
        <source>the reply did not arrive whole</source>
        <translation>没有收到完整的回复</translation>
    </message>
    <message>
        <source>no socket for discovery</source>
        <translation>无法创建搜索用的套接字</translation>
    </message>
    <message>
        <source>the discovery port could not be taken</source>
        <translation>无法占用搜索端口</translation>
    </message>
    <message>
        <source>the discovery query could not be sent</source>
        <translation>搜索请求无法发送</translation>
    </message>
    <message>
        <source>the service cannot open the file the reply should carry</source>
        <translation>服务无法打开回复中要发送的文件</translation>
    </message>
    <message>
        <source>Usage: corvane-client [--host H] [--port P] [--timeout S] [--verbose] COMMAND</source>
        <translation>用法：corvane-client [--host H] [--port P] [--timeout S] [--verbose] 命令</translation>
    </message>
    <message>
        <source>A peer of the Corvane service (default 127.0.0.1, port 1811, 10 s to connect).</source>
        <translation>Corvane 服务的命令行客户端（默认连接 127.0.0.1 的 1811 端口，连接超时 10 秒）。</translation>
    </message>
    <message>
        <source>Commands:</source>
        <translation>命令：</translation>
    </message>
    <message>
        <source>send one request; the reply goes to standard output</source>
        <translation>发送一个请求；回复写到标准输出</translation>
    </message>
    <message>
        <source>send FILE into FOLDER (or as the contact backup)</source>
        <translation>把 FILE 发送到 FOLDER 中（或作为通讯录备份）</translation>
    </message>
    <message>
        <source>send each input line &quot;TYPE TEXT X Y&quot; as a live message</source>
        <translation>把输入的每一行“TYPE TEXT X Y”作为实时消息发送</translation>
    </message>
    <message>
        <source>search the network and print &quot;type name ip sysType&quot;</source>
        <translation>搜索网络，显示“type name ip sysType”</translation>
    </message>
    <message>
        <source>Options:</source>
        <translation>选项：</translation>
    </message>
    <message>
        <source>also print the protocol classes&apos; own log lines</source>
        <translation>同时显示协议各部分自己的日志行</translation>
    </message>
    <message>
        <source>print this help and exit</source>
        <translation>显示本帮助，然后退出</translation>
    </message>
    <message>
        <source>Request heads (BODY fields are joined by ^_7):</source>
        <translation>请求头（BODY 的各字段以 ^_7 连接）：</translation>
    </message>
    <message>
        <source>Exit status:</source>
        <translation>退出状态：</translation>
    </message>
    <message>
        <source>unknown failure</source>
        <translation>未知错误</translation>
    </message>
    <message>
        <source>%1 at %2:%3: %4</source>
        <translation>%1（%2:%3）：%4</translation>
    </message>
    <message>
        <source>%1: nothing listens on that port (is corvane running, with this --port?)</source>
        <translation>%1：这个端口上没有服务在监听（corvane 是否在运行？--port 是否正确？）</translation>
    </message>
    <message>
        <source>%1: no answer within %2 s (see --timeout)</source>
        <translation>%1：%2 秒内没有应答（见 --timeout）</translation>
    </message>
    <message>
        <source>live: expected &quot;TYPE TEXT X Y&quot;, got: %1</source>
        <translation>live：应为“TYPE TEXT X Y”，收到的是：%1</translation>
    </message>
</context>
<context>
    <name>DeviceApproval</name>
    <message>
        <source>%1 asked to connect while too many devices were asking; allow it with: corvane --trust %2</source>
        <translation>%1 请求连接，但同时请求的设备太多；要允许它，请运行：corvane --trust %2</translation>
    </message>
    <message>
        <source>%1 asked to connect; allow it with: corvane --trust %2</source>
        <translation>%1 请求连接；要允许它，请运行：corvane --trust %2</translation>
    </message>
    <message>
        <source>%1 allowed</source>
        <translation>已允许 %1</translation>
    </message>
    <message>
        <source>%1 refused</source>
        <translation>已拒绝 %1</translation>
    </message>
</context>
<context>
    <name>LaunchOptions</name>
    <message>
        <source>%1 needs a port number from 1 to 65535</source>
        <translation>%1 需要 1 到 65535 之间的端口号</translation>
    </message>
    <message>
        <source>%1 needs an IPv4 address</source>
        <translation>%1 需要一个 IPv4 地址</translation>
    </message>
    <message>
        <source>%1 needs a file name</source>
        <translation>%1 需要一个文件名</translation>
    </message>
    <message>
        <source>%1 needs one of auto, x11, gnome, kde, wlroots</source>
        <translation>%1 需要以下之一：auto、x11、gnome、kde、wlroots</translation>
    </message>
    <message>
        <source>%1 needs on or off</source>
        <translation>%1 需要 on 或 off</translation>
    </message>
    <message>
        <source>unknown option %1</source>
        <translation>未知选项 %1</translation>
    </message>
    <message>
        <source>TCP port for requests (default 1811)</source>
        <translation>接收请求的 TCP 端口（默认 1811）</translation>
    </message>
    <message>
        <source>UDP port for discovery (default 1822)</source>
        <translation>用于搜索的 UDP 端口（默认 1822）</translation>
    </message>
    <message>
        <source>address discovery broadcasts go to (default 255.255.255.255)</source>
        <translation>搜索广播发往的地址（默认 255.255.255.255）</translation>
    </message>
    <message>
        <source>run without windows, even when a display is available</source>
        <translation>不显示窗口运行，即使有显示器可用</translation>
    </message>
    <message>
        <source>the desktop to drive: auto (default: probe the session),
x11, gnome, kde or wlroots; CORVANE_BACKEND=NAME does the same</source>
        <translation>要控制的桌面：auto（默认：检测当前会话）、
x11、gnome、kde 或 wlroots；CORVANE_BACKEND=NAME 作用相同</translation>
    </message>
    <message>
        <source>write the pairing QR code as a PNG image and exit</source>
        <translation>把配对二维码写成 PNG 图片，然后退出</translation>
    </message>
    <message>
        <source>let the phone at this IPv4 address control this computer, and exit</source>
        <translation>允许这个 IPv4 地址的手机控制这台电脑，然后退出</translation>
    </message>
    <message>
        <source>take the address off the trusted devices, and exit</source>
        <translation>把这个地址从已信任的设备中移除，然后退出</translation>
    </message>
    <message>
        <source>list the trusted devices and exit</source>
        <translation>列出已信任的设备，然后退出</translation>
    </message>
    <message>
        <source>start Corvane at login or not, then exit (the first
launch turns it on; the tray menu changes it too)</source>
        <translation>是否开机启动 Corvane，然后退出（首次启动时会打开
此项；托盘菜单也可以更改）</translation>
    </message>
    <message>
        <source>print the version and exit</source>
        <translation>显示版本，然后退出</translation>
    </message>
    <message>
        <source>print this help and exit</source>
        <translation>显示本帮助，然后退出</translation>
    </message>
    <message>
        <source>Usage: corvane [options]</source>
        <translation>用法：corvane [选项]</translation>
    </message>
    <message>
        <source>Lets the Corvane phone app control this computer over the local network.</source>
        <translation>让 Corvane 手机应用通过局域网控制这台电脑。</translation>
    </message>
</context>
<context>
    <name>PairingCode</name>
    <message>
        <source>no IPv4 address a phone can reach (only loopback or IPv6), so there is no pairing code</source>
        <translation>没有手机能连接的 IPv4 地址（只有回环地址或 IPv6 地址），因此没有配对二维码</translation>
    </message>
    <message>
        <source>the addresses of this computer do not fit in a %1-pixel QR code</source>
        <translation>这台电脑的地址放不进 %1 像素的二维码</translation>
    </message>
    <message>
        <source>cannot write %1: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
</context>
<context>
    <name>TrustCommand</name>
    <message>
        <source>%1 is trusted</source>
        <translation>%1 已被信任</translation>
    </message>
    <message>
        <source>%1 is no longer trusted</source>
        <translation>%1 已不再被信任</translation>
    </message>
    <message>
        <source>%1 was not trusted</source>
        <translation>%1 本来就没有被信任</translation>
    </message>
    <message>
        <source>no trusted devices</source>
        <translation>没有已信任的设备</translation>
    </message>
    <message>
        <source>approve_devices is off: every device the network rules allow is served</source>
        <translation>approve_devices 已关闭：网络规则允许的所有设备都可以使用本服务</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>start at login is on (%1 starts %2)</source>
        <translation>开机启动已打开（%1 会启动 %2）</translation>
    </message>
    <message>
        <source>start at login is off</source>
        <translation>开机启动已关闭</translation>
    </message>
</context>
</TS>
