"""What the tool shows and is, as the suites look for it: its window class,
list ids, the installers' names, the demo model, and every message text."""

CLASS = "TAVO_WIN32"
LIST_IDS = [1202, 1203, 1204, 1205, 1206, 1207]
INSTALLERS = {"install32.exe", "install64.exe"}
MODEL = "TAVO TP-630K"  # the first model of the package's INF: the installer names its printer so

T_FILES = "文件不全"
T_BUSY = "WINDOWS正在安装您的打印机，请稍候..."
T_EXIT_BUSY = "WINDOWS正在安装您的打印机，退出后WINDOWS仍可能在后台进行安装任务"
T_PARAM = "参数错误！"
T_COPY = "文件复制错误！"
T_INSTALLED_N = "安装%d台打印机"
T_NOT_STARTED = "无法启动安装程序：%s"
T_ABNORMAL = "安装程序异常结束（代码 0x%08X）"
T_NONE_FOUND = "未发现新打印机，请保持USB连接！"
T_MANY_USB = "发现多台打印机，请保持1台打印机USB连接！"
T_MANY_ONLINE = "发现多台打印机，请保持1台联机打印机！"
T_NO_PRINTER = "请安装驱动或连接打印机！"
T_REMOVED = "设备移除或改变！"
T_NO_BROWSER = "WINDOWS没有默认浏览器"
T_NO_APP = "WINDOWS没有安装打开 %s 的应用程序！"
