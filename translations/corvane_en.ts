<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>AboutCtl</name>
    <message>
        <source>关于 Corvane</source>
        <translation>About Corvane</translation>
    </message>
    <message>
        <source>用手机通过局域网遥控这台电脑：鼠标、键盘、演示、文件、应用程序和剪贴板。</source>
        <translation>Control this computer from your phone over the local network: mouse, keyboard, presentations, files, applications and the clipboard.</translation>
    </message>
    <message>
        <source>本软件以 MIT 许可证发布，按“原样”提供，不附带任何担保。</source>
        <translation>Released under the MIT License. Provided “as is”, without warranty of any kind.</translation>
    </message>
    <message>
        <source>版本 %1</source>
        <translation>Version %1</translation>
    </message>
</context>
<context>
    <name>AppDelegate</name>
    <message>
        <source>本机IP</source>
        <translation>This computer&apos;s IP address</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>获取IP失败！</source>
        <translation>No IP address found</translation>
    </message>
    <message>
        <source>请您手动查看</source>
        <translation>Look it up in your network settings.</translation>
    </message>
    <message>
        <source>连接状态</source>
        <translation>Connection status</translation>
    </message>
</context>
<context>
    <name>HelpCtl</name>
    <message>
        <source>Corvane 帮助</source>
        <translation>Corvane Help</translation>
    </message>
    <message>
        <source>Corvane 让您用手机通过局域网控制这台电脑。它在后台运行：图标显示在系统托盘中；桌面没有系统托盘时，会显示一个名为 Corvane 的小窗口，托盘菜单的全部功能都在里面。</source>
        <translation>Corvane lets you control this computer from your phone over the local network. It runs in the background with its icon in the system tray; where the desktop has no tray, a small window named Corvane offers everything the tray menu does.</translation>
    </message>
    <message>
        <source>在手机的应用商店中搜索 Corvane，安装后打开。</source>
        <translation>Search for Corvane in your phone&apos;s app store, install it and open it.</translation>
    </message>
    <message>
        <source>电脑通过 TCP 端口 %1 接收手机的请求，通过 UDP 端口 %2 应答手机的搜索。如果电脑开启了防火墙，请允许局域网内这两个端口的连接。</source>
        <translation>The computer takes the phone&apos;s requests on TCP port %1 and answers its searches on UDP port %2. If the computer has a firewall, allow both ports from the local network.</translation>
    </message>
    <message>
        <source>在手机上点击自动搜索。Corvane 会应答同一网络中的搜索，这台电脑的名称随即出现在手机上，点击即可连接。</source>
        <translation>Tap Search Automatically on the phone. Corvane answers searches from the same network, so this computer&apos;s name appears on the phone: tap it to connect.</translation>
    </message>
    <message>
        <source>在托盘菜单中选择“显示IP地址”查看本机地址，然后在手机上输入这个地址。</source>
        <translation>Choose “Show IP Address…” in the tray menu to see this computer&apos;s address, then enter it on the phone.</translation>
    </message>
    <message>
        <source>扫码连接</source>
        <translation>Scan to Connect</translation>
    </message>
    <message>
        <source>在托盘菜单中选择“显示二维码”，再用手机扫描窗口中的二维码。二维码里只有本机的 IPv4 地址，不含密码或其他信息。手机扫描成功后，二维码窗口会自动关闭。</source>
        <translation>Choose “Show QR Code…” in the tray menu and scan the code in its window with your phone. The code holds only this computer&apos;s IPv4 addresses, no password and nothing else. The window closes by itself once the phone has scanned the code.</translation>
    </message>
    <message>
        <source>连接密码</source>
        <translation>Connection Password</translation>
    </message>
    <message>
        <source>在“设置密码...”中可以设置连接密码（最多 30 个字符，不能含 ^_7）。密码由手机应用检查，电脑只把它发给批准过的手机。点击“重置”会立即清除密码。</source>
        <translation>“Set Password…” sets a connection password (up to 30 characters, without ^_7). The phone app checks it; the computer gives it only to approved phones. “Reset Password” removes the password at once.</translation>
    </message>
    <message>
        <source>把手机当作触摸板：移动鼠标、单击、双击、拖动和滚动；用手机键盘向电脑输入文字，发送回车、删除、方向键和组合键。</source>
        <translation>Use the phone as a touchpad: move the pointer, click, double-click, drag and scroll. Type on the computer with the phone&apos;s keyboard, and send Return, Delete, the arrow keys and key combinations.</translation>
    </message>
    <message>
        <source>浏览电脑上的文件夹，下载文件，查看缩略图和屏幕截图；把手机上的照片和文件上传到电脑；控制音乐播放器和音量。</source>
        <translation>Browse the computer&apos;s folders, download files, see thumbnails and screenshots; upload photos and files from the phone to the computer; control the music player and the volume.</translation>
    </message>
    <message>
        <source>3、演示文稿和激光笔</source>
        <translation>3. Presentations and the laser pointer</translation>
    </message>
    <message>
        <source>开始和结束放映、前后翻页，并在屏幕上显示一个激光笔圆点，可以移动、换颜色和改变大小。</source>
        <translation>Start and end the slide show, go to the next or previous slide, and show a laser-pointer dot on the screen that you can move, recolor and resize.</translation>
    </message>
    <message>
        <source>4、应用程序</source>
        <translation>4. Applications</translation>
    </message>
    <message>
        <source>查看电脑上安装的应用程序，打开、切换到前台或退出它们。</source>
        <translation>See the applications installed on the computer; open them, bring them to the front or quit them.</translation>
    </message>
    <message>
        <source>5、电源</source>
        <translation>5. Power</translation>
    </message>
    <message>
        <source>关机、睡眠、重启或注销，也可以安排在一段时间之后执行，并随时取消。</source>
        <translation>Shut down, sleep, restart or log out, now or after a delay, and cancel a scheduled action at any time.</translation>
    </message>
    <message>
        <source>6、剪贴板</source>
        <translation>6. Clipboard</translation>
    </message>
    <message>
        <source>读取电脑剪贴板中的文字和文件。开启同步后，电脑上新复制的内容会推送到手机。</source>
        <translation>Read the text and files on the computer&apos;s clipboard. With sync on, whatever you copy on the computer is pushed to the phone.</translation>
    </message>
    <message>
        <source>开机启动</source>
        <translation>Start at Login</translation>
    </message>
    <message>
        <source>托盘菜单中的“开机启动”和“不开机启动”决定登录桌面时是否自动启动 Corvane，勾选标记显示当前的设置。</source>
        <translation>“Start at Login” and “Don&apos;t Start at Login” in the tray menu decide whether Corvane starts when you log in to the desktop; the check mark shows the current choice.</translation>
    </message>
    <message>
        <source>安全提示</source>
        <translation>Security</translation>
    </message>
    <message>
        <source>新手机第一次连接时，电脑会弹出“新设备请求连接”：只有您允许的手机才能控制这台电脑，拒绝、关闭或 30 秒内不回答都会拒绝它。批准过的手机可在“已信任的设备...”中查看和移除；本机上的程序无需批准。连接密码由手机应用检查，电脑只把它发给批准过的手机。Corvane 默认只接受本机和局域网地址的连接，手机发来的脚本默认不会执行。手机不发送任何凭据，电脑只凭地址认出批准过的手机：有人在同一网络中冒用这个地址时，电脑无法分辨，请只在信任的网络中使用。</source>
        <translation>The first time a new phone connects, the computer asks “New Device Wants to Connect”: only phones you allow can control this computer, and denying, closing the question or not answering within 30 seconds turns the phone away. “Trusted Devices…” lists the approved phones and removes them; programs on this computer need no approval. The phone app checks the connection password; the computer gives it only to approved phones. By default Corvane accepts connections only from this computer and the local network, and does not run scripts sent by a phone. Phones send no credentials, so the computer knows an approved phone only by its address: if someone on the same network takes over that address, the computer cannot tell. Use Corvane only on networks you trust.</translation>
    </message>
    <message>
        <source>常见问题</source>
        <translation>Frequently Asked Questions</translation>
    </message>
    <message>
        <source>手机搜索不到电脑？</source>
        <translation>The phone doesn&apos;t find the computer?</translation>
    </message>
    <message>
        <source>请确认手机和电脑连在同一个网络中，并且路由器没有开启“访客网络”或“客户端隔离”。防火墙需要允许 TCP 端口 %1 和 UDP 端口 %2。也可以改用扫码连接或直接输入IP地址。</source>
        <translation>Make sure the phone and the computer are on the same network, and that the router has no “guest network” or “client isolation” turned on. A firewall must allow TCP port %1 and UDP port %2. You can also scan the QR code or enter the IP address instead.</translation>
    </message>
    <message>
        <source>二维码窗口提示“无法获取您的IP地址”？</source>
        <translation>“Your IP address could not be found” instead of a QR code?</translation>
    </message>
    <message>
        <source>电脑目前没有可供手机连接的 IPv4 地址。请先连接 Wi-Fi 或有线网络，再打开二维码。</source>
        <translation>The computer has no IPv4 address that a phone could connect to. Connect to Wi-Fi or a wired network first, then open the QR code again.</translation>
    </message>
    <message>
        <source>启动时提示“您已经启动了一个Corvane”？</source>
        <translation>“Corvane is already running” when you start it?</translation>
    </message>
    <message>
        <source>Corvane 已经在运行了。请在系统托盘或名为 Corvane 的小窗口中使用它，不需要再次启动。</source>
        <translation>Corvane is running already. Use it from the system tray or from the small window named Corvane; there is no need to start it again.</translation>
    </message>
    <message>
        <source>找不到托盘图标？</source>
        <translation>No tray icon?</translation>
    </message>
    <message>
        <source>有些桌面（例如默认设置的 GNOME）没有系统托盘。这时 Corvane 会显示一个小窗口，里面有托盘菜单的全部功能；安装托盘扩展后，图标会自动出现在托盘中。</source>
        <translation>Some desktops (GNOME with its default settings, for one) have no system tray. Corvane then shows a small window with everything the tray menu offers; once a tray extension is installed, the icon appears in the tray by itself.</translation>
    </message>
    <message>
        <source>在没有图形界面的电脑上使用？</source>
        <translation>On a computer without a desktop?</translation>
    </message>
    <message>
        <source>在终端中运行 corvane --headless，它会在终端里显示本机地址和二维码，用手机扫描即可连接；新手机要先用 corvane --trust 加上它的地址批准。</source>
        <translation>Run corvane --headless in a terminal: it shows this computer&apos;s addresses and the QR code there, for the phone to scan. Approve a new phone first with corvane --trust followed by its address.</translation>
    </message>
    <message>
        <source>选择菜单中的“退出”可以随时关闭 Corvane；需要时选择“帮助...”再次打开本页。</source>
        <translation>Choose “Quit” in the menu to close Corvane at any time, and “Help” to open this page again.</translation>
    </message>
    <message>
        <source>Corvane在这里</source>
        <translation>Corvane is here</translation>
    </message>
    <message>
        <source>手机怎么控制我的电脑?</source>
        <translation>How does my phone control this computer?</translation>
    </message>
    <message>
        <source>1、使用您的iPhone去App Store下载Corvane</source>
        <translation>1. Get Corvane for your iPhone from the App Store</translation>
    </message>
    <message>
        <source>2、您的手机与电脑在同一个Wifi中</source>
        <translation>2. Have your phone and this computer on the same Wi-Fi</translation>
    </message>
    <message>
        <source>3、打开Corvane，然后点击自动开始按扭或输入IP地址</source>
        <translation>3. Open Corvane on the phone, then tap Search Automatically or enter the IP address</translation>
    </message>
    <message>
        <source>或</source>
        <translation>or</translation>
    </message>
    <message>
        <source>自动搜索</source>
        <translation>Search Automatically</translation>
    </message>
    <message>
        <source>输入IP地址</source>
        <translation>Enter IP Address</translation>
    </message>
    <message>
        <source>手机能控制什么?</source>
        <translation>What can the phone do?</translation>
    </message>
    <message>
        <source>1、移动鼠标，模拟输入等等...</source>
        <translation>1. Move the pointer, type and more</translation>
    </message>
    <message>
        <source>2、下载/上传文件，播放音乐/视频等等...</source>
        <translation>2. Download and upload files, play music and videos and more</translation>
    </message>
</context>
<context>
    <name>InputCtl</name>
    <message>
        <source>Corvane 文字输入</source>
        <translation>Corvane Text Input</translation>
    </message>
    <message>
        <source>输入文字，点击发送交给手机</source>
        <translation>Type text, then click Send to pass it to the phone</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Send</translation>
    </message>
</context>
<context>
    <name>QRCodeCtl</name>
    <message>
        <source>扫码连接</source>
        <translation>Scan to Connect</translation>
    </message>
    <message>
        <source>使用手机进行扫码连接</source>
        <translation>Scan with your phone to connect</translation>
    </message>
    <message>
        <source>获取二维码失败！</source>
        <translation>Could not make the QR code</translation>
    </message>
    <message>
        <source>无法获取您的IP地址</source>
        <translation>Your IP address could not be found.</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>请与我们联系</source>
        <translation>Please contact us.</translation>
    </message>
</context>
<context>
    <name>QtApprovalPrompt</name>
    <message>
        <source>未知设备</source>
        <translation>Unknown device</translation>
    </message>
    <message>
        <source>新设备请求连接</source>
        <translation>New Device Wants to Connect</translation>
    </message>
    <message>
        <source>设备“%1”（%2）请求控制这台电脑。只允许您自己的手机。</source>
        <translation>The device “%1” (%2) wants to control this computer. Allow only your own phone.</translation>
    </message>
    <message>
        <source>允许</source>
        <translation>Allow</translation>
    </message>
    <message>
        <source>拒绝</source>
        <translation>Deny</translation>
    </message>
</context>
<context>
    <name>ServerDelegate</name>
    <message>
        <source>已连接设备数量：%1</source>
        <translation>Connected devices: %1</translation>
    </message>
    <message>
        <source>显示二维码</source>
        <translation>Show QR Code…</translation>
    </message>
    <message>
        <source>显示IP地址</source>
        <translation>Show IP Address…</translation>
    </message>
    <message>
        <source>设置密码...</source>
        <translation>Set Password…</translation>
    </message>
    <message>
        <source>已信任的设备...</source>
        <translation>Trusted Devices…</translation>
    </message>
    <message>
        <source>开机启动</source>
        <translation>Start at Login</translation>
    </message>
    <message>
        <source>不开机启动</source>
        <translation>Don&apos;t Start at Login</translation>
    </message>
    <message>
        <source>帮助...</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>关于...</source>
        <translation>About Corvane</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>我知道了</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>正在运行的Corvane（进程号 %1）占用着TCP端口%2。</source>
        <translation>The Corvane that is running (process %1) holds TCP port %2.</translation>
    </message>
    <message>
        <source>正在运行的Corvane占用着TCP端口%1。</source>
        <translation>The Corvane that is running holds TCP port %1.</translation>
    </message>
    <message>
        <source>您已经启动了一个Corvane，请关闭已经启动的Corvane再重试</source>
        <translation>Corvane is already running. Quit it and try again.</translation>
    </message>
    <message>
        <source>服务启动失败，请等待一分钟再重试</source>
        <translation>The service could not start. Wait a minute and try again.</translation>
    </message>
    <message>
        <source>TCP端口%1已被其他程序占用。请关闭占用它的程序后再试，或用 --port 选择其他端口（手机应用只连接1811端口）。</source>
        <translation>TCP port %1 is in use by another program. Quit that program and try again, or choose another port with --port (the phone app connects only to port 1811).</translation>
    </message>
    <message>
        <source>UDP端口%1已被其他程序占用。请关闭占用它的程序后再试，或用 --udp-port 选择其他端口（手机应用只在1822端口搜索）。</source>
        <translation>UDP port %1 is in use by another program. Quit that program and try again, or choose another port with --udp-port (the phone app searches only on port 1822).</translation>
    </message>
    <message>
        <source>%1端口%2无法使用：%3</source>
        <translation>%1 port %2 cannot be used: %3</translation>
    </message>
    <message>
        <source>本机IP</source>
        <translation>This computer&apos;s IP address</translation>
    </message>
    <message>
        <source>使用手机进行扫码连接</source>
        <translation>Scan with your phone to connect</translation>
    </message>
</context>
<context>
    <name>SetCtl</name>
    <message>
        <source>设置密码</source>
        <translation>Set Password</translation>
    </message>
    <message>
        <source>您已经设置了连接密码</source>
        <translation>A connection password is set.</translation>
    </message>
    <message>
        <source>设置连接密码</source>
        <translation>Set a connection password</translation>
    </message>
    <message>
        <source>输入密码</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>确认密码</source>
        <translation>Confirm password:</translation>
    </message>
    <message>
        <source>重置</source>
        <translation>Reset Password</translation>
    </message>
    <message>
        <source>提交</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>请输入密码</source>
        <translation>Enter a password</translation>
    </message>
    <message>
        <source>密码不能为空</source>
        <translation>The password cannot be empty.</translation>
    </message>
    <message>
        <source>密码太长</source>
        <translation>Password too long</translation>
    </message>
    <message>
        <source>密码最大长度:%1</source>
        <translation>A password can have up to %1 characters.</translation>
    </message>
    <message>
        <source>密码包含不允许的字符</source>
        <translation>Character not allowed</translation>
    </message>
    <message>
        <source>密码不能包含 ^_7</source>
        <translation>A password cannot contain ^_7.</translation>
    </message>
    <message>
        <source>请输入确认密码</source>
        <translation>Confirm the password</translation>
    </message>
    <message>
        <source>确认密码不能为空</source>
        <translation>Enter the password again to confirm it.</translation>
    </message>
    <message>
        <source>确认密码不正确!!!</source>
        <translation>Passwords do not match</translation>
    </message>
    <message>
        <source>确认密码与密码不相同</source>
        <translation>The confirmation differs from the password.</translation>
    </message>
    <message>
        <source>设置成功</source>
        <translation>Password set</translation>
    </message>
    <message>
        <source>现在需要密码才能连接该设备</source>
        <translation>Phones now need the password to connect to this computer.</translation>
    </message>
</context>
<context>
    <name>TrustCtl</name>
    <message>
        <source>已信任的设备</source>
        <translation>Trusted Devices</translation>
    </message>
    <message>
        <source>下面这些设备可以控制这台电脑。移除后，设备再次连接时需要重新批准。</source>
        <translation>These devices can control this computer. A device you remove must be approved again the next time it connects.</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>批准时间</source>
        <translation>Approved</translation>
    </message>
    <message>
        <source>还没有信任的设备。</source>
        <translation>No trusted devices yet.</translation>
    </message>
    <message>
        <source>新设备需要批准</source>
        <translation>Ask before a new device connects</translation>
    </message>
    <message>
        <source>未知设备</source>
        <translation>Unknown device</translation>
    </message>
    <message>
        <source>移除</source>
        <translation>Remove</translation>
    </message>
</context>
</TS>
