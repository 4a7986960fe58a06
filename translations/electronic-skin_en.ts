<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>AnalysisControl</name>
    <message>
        <source>分析阈值</source>
        <translation>Analysis threshold</translation>
    </message>
    <message>
        <source>传感器的力大小达到此值即为接触（%1 至 %2）：</source>
        <translation>A sensor is in contact from this force magnitude on (%1 to %2):</translation>
    </message>
    <message>
        <source>分析</source>
        <translation>Analysis</translation>
    </message>
    <message>
        <source>分析阈值…</source>
        <translation>Analysis threshold…</translation>
    </message>
</context>
<context>
    <name>ArrayTab</name>
    <message>
        <source>选择</source>
        <translation>Select</translation>
    </message>
    <message>
        <source>压力</source>
        <translation>Pressure</translation>
    </message>
    <message>
        <source>%1轴已写入数据</source>
        <translation>Written data, %1 axis</translation>
    </message>
    <message>
        <source>系统提示</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>标定成功</source>
        <translation>Calibration done</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>指定轴有误</source>
        <translation>The driver card named an unknown axis</translation>
    </message>
    <message>
        <source>错误信息</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>删除驱动卡指定的标定数据失败</source>
        <translation>Could not delete the selected calibration data from the driver card</translation>
    </message>
    <message>
        <source>删除驱动卡标定数据失败</source>
        <translation>Could not delete the calibration data from the driver card</translation>
    </message>
    <message>
        <source>标定时驱动卡已自行存储标定点，无需写入</source>
        <translation>The card stores the point itself during the run: there is nothing to write</translation>
    </message>
    <message>
        <source>确定删除驱动卡上的全部阵列标定数据吗？X、Y、Z 三轴的标定点都将被删除。</source>
        <translation>Delete all array calibration data on the driver card? The points of all three axes, X, Y and Z, will be deleted.</translation>
    </message>
</context>
<context>
    <name>CurveAnalysis</name>
    <message>
        <source>合力</source>
        <translation>Total force</translation>
    </message>
    <message>
        <source>合力大小</source>
        <translation>Total force magnitude</translation>
    </message>
    <message>
        <source>压力中心：列 %1，行 %2</source>
        <translation>Centre of pressure: column %1, row %2</translation>
    </message>
    <message>
        <source>压力中心：无</source>
        <translation>Centre of pressure: none</translation>
    </message>
    <message>
        <source>峰值：无</source>
        <translation>Peak: none</translation>
    </message>
    <message>
        <source>峰值：Sensor%1，%2</source>
        <translation>Peak: Sensor%1, %2</translation>
    </message>
    <message>
        <source>合力：X %1，Y %2，Z %3，大小 %4</source>
        <translation>Total force: X %1, Y %2, Z %3, magnitude %4</translation>
    </message>
    <message>
        <source>接触：%1</source>
        <translation>Contacts: %1</translation>
    </message>
</context>
<context>
    <name>CurveGraphic</name>
    <message>
        <source>全选</source>
        <translation>Select all</translation>
    </message>
    <message>
        <source>力</source>
        <translation>Force</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>自动范围</source>
        <translation>Auto range</translation>
    </message>
    <message>
        <source>标记</source>
        <translation>Mark</translation>
    </message>
    <message>
        <source>保存图像…</source>
        <translation>Save picture…</translation>
    </message>
    <message>
        <source>复制图像</source>
        <translation>Copy picture</translation>
    </message>
    <message>
        <source>保存显示的数据…</source>
        <translation>Save shown data…</translation>
    </message>
    <message>
        <source>图例</source>
        <translation>Legend</translation>
    </message>
    <message>
        <source>纵轴只适应显示的曲线</source>
        <translation>Fit shown curves</translation>
    </message>
    <message>
        <source>图例在图外</source>
        <translation>Legend outside</translation>
    </message>
    <message>
        <source>图例放在曲线旁边，每个传感器一项，不遮挡曲线</source>
        <translation>The legend beside the curves, one entry per sensor, covering none of them</translation>
    </message>
    <message>
        <source>横轴显示时间</source>
        <translation>Time axis</translation>
    </message>
    <message>
        <source>横轴以秒显示各帧的时间，而不是帧号</source>
        <translation>The x axis shows the frames&apos; times in seconds instead of their numbers</translation>
    </message>
</context>
<context>
    <name>CurveSaver</name>
    <message>
        <source>图像未能保存：%1</source>
        <translation>The picture could not be saved: %1</translation>
    </message>
    <message>
        <source>没有可保存的数据</source>
        <translation>There is no data to save.</translation>
    </message>
    <message>
        <source>数据未能保存：%1（%2）</source>
        <translation>The data could not be saved: %1 (%2)</translation>
    </message>
    <message>
        <source>保存图像</source>
        <translation>Save picture</translation>
    </message>
    <message>
        <source>PNG 图像 (*.png)</source>
        <translation>PNG image (*.png)</translation>
    </message>
    <message>
        <source>PDF 文档 (*.pdf)</source>
        <translation>PDF document (*.pdf)</translation>
    </message>
    <message>
        <source>SVG 图像 (*.svg)</source>
        <translation>SVG image (*.svg)</translation>
    </message>
    <message>
        <source>JPG 图像 (*.jpg)</source>
        <translation>JPG image (*.jpg)</translation>
    </message>
    <message>
        <source>保存显示的数据</source>
        <translation>Save shown data</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV file (*.csv)</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
</context>
<context>
    <name>Demarcate</name>
    <message>
        <source>标定</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>阵列型标定</source>
        <translation>Array calibration</translation>
    </message>
    <message>
        <source>选择标定的坐标轴：</source>
        <translation>Axis to calibrate:</translation>
    </message>
    <message>
        <source>已写入数据</source>
        <translation>Written data</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>全部删除</source>
        <translation>Delete all</translation>
    </message>
    <message>
        <source>待写入数据</source>
        <translation>Data to write</translation>
    </message>
    <message>
        <source>标定</source>
        <comment>button</comment>
        <translation>Calibrate</translation>
    </message>
    <message>
        <source>写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>单点型标定</source>
        <translation>Single-point calibration</translation>
    </message>
    <message>
        <source>传感器选择</source>
        <translation>Sensor selection</translation>
    </message>
    <message>
        <source>选择标定的传感器：</source>
        <translation>Sensor to calibrate:</translation>
    </message>
    <message>
        <source>已写入标定信息</source>
        <translation>Written calibration data</translation>
    </message>
    <message>
        <source>待写入标定信息</source>
        <translation>Calibration data to write</translation>
    </message>
    <message>
        <source>标定数据：</source>
        <translation>Value:</translation>
    </message>
    <message>
        <source>单点标定</source>
        <comment>button</comment>
        <translation>Calibrate</translation>
    </message>
    <message>
        <source>标定压力：</source>
        <translation>Pressure:</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>正在获取校准数据...</source>
        <translation>Sampling the sensors...</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>校准</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>标定失败！！！</source>
        <translation>Calibration failed!</translation>
    </message>
    <message>
        <source>单点标定</source>
        <translation>Single-point calibration</translation>
    </message>
    <message>
        <source>单点标定失败！！！</source>
        <translation>Single-point calibration failed!</translation>
    </message>
    <message>
        <source>允许输入范围：-327.00~327.00</source>
        <translation>Allowed range: -327.00 to 327.00</translation>
    </message>
    <message>
        <source>允许输入范围：-32767~32767</source>
        <translation>Allowed range: -32767 to 32767</translation>
    </message>
    <message>
        <source>请打开通信接口</source>
        <translation>Please open the serial port first</translation>
    </message>
    <message>
        <source>驱动卡发来的标定点多于%1个，其余%2个未显示</source>
        <translation>The card sent more than %1 calibration points; %2 more are not shown</translation>
    </message>
    <message>
        <source>驱动卡的值，超出可输入的范围</source>
        <translation>The card&apos;s value, outside the range that can be typed</translation>
    </message>
</context>
<context>
    <name>FrameAxis</name>
    <message>
        <source>时间 (s)</source>
        <translation>Time (s)</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>间断 %1 s</source>
        <translation>Gap of %1 s</translation>
    </message>
    <message>
        <source>串口丢失</source>
        <translation>port lost</translation>
    </message>
    <message>
        <source>串口关闭</source>
        <translation>port closed</translation>
    </message>
    <message>
        <source>间断 %1 s：%2</source>
        <translation>Gap of %1 s: %2</translation>
    </message>
</context>
<context>
    <name>FrequencyChoice</name>
    <message>
        <source>驱动卡尚未告知其采样频率。选择一项即请驱动卡以该频率采样。</source>
        <translation>The card has not told its sample rate yet. Choosing one asks the card for it.</translation>
    </message>
</context>
<context>
    <name>LinkStatusBar</name>
    <message>
        <source>%1 帧/秒</source>
        <translation>%1 fps</translation>
    </message>
    <message>
        <source>校验错误 %1</source>
        <translation>Checksum errors %1</translation>
    </message>
    <message>
        <source>丢弃 %1 字节</source>
        <translation>Discarded %1 bytes</translation>
    </message>
    <message>
        <source>无数据 %1 s</source>
        <translation>No data %1 s</translation>
    </message>
    <message>
        <source>已连接 %1 @ %2</source>
        <translation>%1 @ %2</translation>
    </message>
    <message>
        <source>串口丢失，等待重连…</source>
        <translation>Port lost, waiting to reconnect…</translation>
    </message>
    <message>
        <source>未连接</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>驱动卡报告 %1 个传感器</source>
        <translation>Card reports %1 sensors</translation>
    </message>
    <message>
        <source>窗口显示 %1 个传感器。勾选“菜单” → “传感器数跟随驱动卡”，窗口即跟随驱动卡。</source>
        <translation>The windows show %1 sensors. Tick “Menu” → “Sensor count follows the card” to follow the card.</translation>
    </message>
    <message>
        <source>%1 上无驱动卡应答，等待重连…</source>
        <translation>No card answers on %1, waiting…</translation>
    </message>
    <message>
        <source>%1 现为另一设备，等待原设备…</source>
        <translation>%1 is another device now, waiting…</translation>
    </message>
    <message>
        <source>%1 上的设备不像驱动卡那样应答，已停止重连，请按“打开”</source>
        <translation>%1 does not answer as the card; no longer tried, press “Open”</translation>
    </message>
    <message>
        <source>采样频率 %1 → %2 Hz</source>
        <translation>rate %1 → %2 Hz</translation>
    </message>
    <message>
        <source>传感器 %1 → %2 个</source>
        <translation>sensors %1 → %2</translation>
    </message>
    <message>
        <source>重连后驱动卡与之前不同：%1</source>
        <translation>Card differs after reconnecting: %1</translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>重连的端口上的驱动卡所报的采样频率或传感器数与丢失前不同，可能是另一块驱动卡。记录和数据流中已写明。</source>
        <translation>The card on the reconnected port tells another sample rate or sensor count than before the loss: it may be another card. The recording and the stream say so.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>串口：</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>波特率：</source>
        <translation>Baud:</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>传感器数量：</source>
        <translation>Sensors:</translation>
    </message>
    <message>
        <source>采样频率：</source>
        <translation>Sample rate:</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>校准</source>
        <translation>Baseline</translation>
    </message>
    <message>
        <source>写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>图像</source>
        <translation>Graph</translation>
    </message>
    <message>
        <source>菜单</source>
        <translation>Menu</translation>
    </message>
    <message>
        <source>标定</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>错误信息</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>没有检测到串口</source>
        <translation>No serial port found</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>串口丢失</source>
        <translation>The serial port was lost</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>请打开通信接口</source>
        <translation>Please open the serial port first</translation>
    </message>
    <message>
        <source>系统提示</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>基准数据读取失败</source>
        <translation>Reading the baseline failed</translation>
    </message>
    <message>
        <source>基准数据读取成功</source>
        <translation>Baseline read</translation>
    </message>
    <message>
        <source>校准数据获取完成</source>
        <translation>Baseline measured</translation>
    </message>
    <message>
        <source>校准数据获取失败</source>
        <translation>Measuring the baseline failed</translation>
    </message>
    <message>
        <source>正在获取校准数据...</source>
        <translation>Measuring the baseline...</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>确定写入吗?</source>
        <translation>Write to the driver card?</translation>
    </message>
    <message>
        <source>没有选择要校准的传感器</source>
        <translation>No sensor is selected</translation>
    </message>
    <message>
        <source>获取驱动卡采样频率失败</source>
        <translation>Could not read the driver card&apos;s sample rate</translation>
    </message>
    <message>
        <source>采样频率设置成功</source>
        <translation>Sample rate set</translation>
    </message>
    <message>
        <source>采样频率设置失败</source>
        <translation>Setting the sample rate failed</translation>
    </message>
    <message>
        <source>写入成功</source>
        <translation>Written</translation>
    </message>
    <message>
        <source>失败失败</source>
        <translation>Writing failed</translation>
    </message>
    <message>
        <source>通信超时</source>
        <translation>Communication timed out</translation>
    </message>
    <message>
        <source>串口打开失败</source>
        <translation>Could not open the serial port</translation>
    </message>
    <message>
        <source>自动重连</source>
        <translation>Reconnect automatically</translation>
    </message>
    <message>
        <source>传感器数跟随驱动卡</source>
        <translation>Sensor count follows the card</translation>
    </message>
    <message>
        <source>打开记录…</source>
        <translation>Open recording…</translation>
    </message>
    <message>
        <source>关闭记录</source>
        <translation>Close recording</translation>
    </message>
</context>
<context>
    <name>MqttControl</name>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>密码不能写在地址里：请去掉地址中的“:密码”，发布时再输入密码（或设置环境变量 ESKIN_MQTT_PASSWORD）。</source>
        <translation>A password does not belong in the address: remove the “:password” from it and enter the password when asked (or set the environment variable ESKIN_MQTT_PASSWORD).</translation>
    </message>
    <message>
        <source>发布的前缀不能含通配符 +：每块电子皮肤用一个前缀，如 mqtt://127.0.0.1/lab/skin1。</source>
        <translation>The prefix to publish under cannot hold the wildcard +: give each skin a prefix of its own, such as mqtt://127.0.0.1/lab/skin1.</translation>
    </message>
    <message>
        <source>“%1”不是 MQTT 地址：请填写 mqtt://[用户名@]主机[:端口]/前缀，如 mqtt://127.0.0.1/lab/skin1（mqtts:// 为加密连接）。</source>
        <translation>“%1” is not an MQTT address: enter mqtt://[user@]host[:port]/prefix, such as mqtt://127.0.0.1/lab/skin1 (mqtts:// for an encrypted connection).</translation>
    </message>
    <message>
        <source>发布到 MQTT</source>
        <translation>Publish to MQTT</translation>
    </message>
    <message>
        <source>%1 在 %2 的密码：</source>
        <translation>Password of %1 at %2:</translation>
    </message>
    <message>
        <source>代理服务器的地址（mqtt://[用户名@]主机[:端口]/前缀，mqtts:// 为加密连接）：</source>
        <translation>Address of the broker (mqtt://[user@]host[:port]/prefix, mqtts:// for an encrypted connection):</translation>
    </message>
    <message>
        <source>停止发布到 MQTT</source>
        <translation>Stop publishing to MQTT</translation>
    </message>
    <message>
        <source>发布到 MQTT…</source>
        <translation>Publish to MQTT…</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>connected</translation>
    </message>
    <message>
        <source>连接中…</source>
        <translation>connecting…</translation>
    </message>
    <message>
        <source>，%1 帧未发布</source>
        <translation>, %1 frames not published</translation>
    </message>
    <message>
        <source>未连接，%1 秒后重试</source>
        <translation>not connected, trying again in %1 s</translation>
    </message>
    <message>
        <source>MQTT %1：%2</source>
        <translation>MQTT %1: %2</translation>
    </message>
</context>
<context>
    <name>OpenFailureText</name>
    <message>
        <source>请把用户加入拥有该设备的用户组 %1：
sudo usermod -aG %1 $USER
然后重新登录。</source>
        <translation>Add your user to the group %1 that owns the device:
sudo usermod -aG %1 $USER
then log in again.</translation>
    </message>
    <message>
        <source>该设备属于用户组 %1，不宜加入该组。请管理员为该设备添加 udev 规则（例如 GROUP=&quot;dialout&quot;, MODE=&quot;0660&quot;），或开放其读写权限。</source>
        <translation>The device belongs to the group %1, which is not one to join. Ask an administrator to add a udev rule for it (for example GROUP=&quot;dialout&quot;, MODE=&quot;0660&quot;) or to open it for reading and writing.</translation>
    </message>
    <message>
        <source>请检查连接，或在列表中选择另一个串口。</source>
        <translation>Check the connection, or choose another port in the list.</translation>
    </message>
    <message>
        <source>原因：当前用户没有读写该串口的权限。</source>
        <translation>Cause: you may not read and write this port.</translation>
    </message>
    <message>
        <source>原因：该串口正被另一个程序占用。</source>
        <translation>Cause: another program is using this port.</translation>
    </message>
    <message>
        <source>请先关闭那个程序，再打开串口。</source>
        <translation>Close that program first, then open the port.</translation>
    </message>
    <message>
        <source>原因：该设备不是串口。</source>
        <translation>Cause: the device is not a serial port.</translation>
    </message>
    <message>
        <source>请在列表中选择驱动卡所在的串口。</source>
        <translation>Choose the driver card&apos;s port in the list.</translation>
    </message>
    <message>
        <source>原因：串口无法打开。</source>
        <translation>Cause: the port cannot be opened.</translation>
    </message>
    <message>
        <source>请检查设备和连接后再试。</source>
        <translation>Check the device and the connection, then try again.</translation>
    </message>
    <message>
        <source>串口：%1</source>
        <translation>Port: %1</translation>
    </message>
    <message>
        <source>系统信息：%1</source>
        <translation>System message: %1</translation>
    </message>
    <message>
        <source>原因：%1 不存在，设备可能已拔出或名称有误。</source>
        <translation>Cause: %1 does not exist; the device may be unplugged or the name wrong.</translation>
    </message>
</context>
<context>
    <name>PlotMarkers</name>
    <message>
        <source>标记 %1</source>
        <translation>Marker %1</translation>
    </message>
</context>
<context>
    <name>PlotPicture</name>
    <message>
        <source>“%1”不是可保存的图像格式：请用 .png、.jpg、.pdf 或 .svg</source>
        <translation>“%1” is not a picture format that can be saved: use .png, .jpg, .pdf or .svg</translation>
    </message>
    <message>
        <source>图像未能保存：%1</source>
        <translation>The picture could not be saved: %1</translation>
    </message>
</context>
<context>
    <name>PlotReadout</name>
    <message>
        <source>帧 %1</source>
        <translation>frame %1</translation>
    </message>
    <message>
        <source>帧 %1，%2 s</source>
        <translation>frame %1, %2 s</translation>
    </message>
</context>
<context>
    <name>RecordCheckProgress</name>
    <message>
        <source>正在检查记录：%1</source>
        <translation>Checking the recording: %1</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>打开记录</source>
        <translation>Open recording</translation>
    </message>
</context>
<context>
    <name>RecordingControl</name>
    <message>
        <source>开始记录…</source>
        <translation>Start recording…</translation>
    </message>
    <message>
        <source>开始记录</source>
        <translation>Start recording</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv);;所有文件 (*)</source>
        <translation>CSV files (*.csv);;All files (*)</translation>
    </message>
    <message>
        <source>错误信息</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>无法写入记录文件 %1：%2</source>
        <translation>Cannot write the recording file %1: %2</translation>
    </message>
    <message>
        <source>写入记录文件 %1 失败，记录已停止：%2</source>
        <translation>Writing the recording file %1 failed; recording stopped: %2</translation>
    </message>
    <message>
        <source>停止记录</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>正在记录：%1（%2 帧）</source>
        <translation>Rec %1 (%2)</translation>
    </message>
    <message>
        <source>记录已停止：%1（%2 帧）</source>
        <translation>Stopped %1 (%2)</translation>
    </message>
    <message>
        <source>，%1 帧因写入过慢未记录</source>
        <translation>, %1 frames left out (disk too slow)</translation>
    </message>
</context>
<context>
    <name>ReviewOpener</name>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>读取记录文件时发现：</source>
        <translation>Reading the recording found:</translation>
    </message>
    <message>
        <source>打开记录</source>
        <translation>Open recording</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv);;所有文件 (*)</source>
        <translation>CSV files (*.csv);;All files (*)</translation>
    </message>
    <message>
        <source>记录未能打开</source>
        <translation>The recording could not be opened</translation>
    </message>
    <message>
        <source>记录文件在打开后被改动，回看已关闭</source>
        <translation>The recording has changed since it was opened; the review is closed</translation>
    </message>
    <message>
        <source>正在记录。打开记录文件将关闭串口并结束记录，继续吗？</source>
        <translation>Recording now. Opening a recording closes the port and ends the recording. Go on?</translation>
    </message>
    <message>
        <source>错误信息</source>
        <translation>Error</translation>
    </message>
</context>
<context>
    <name>ReviewTimeline</name>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>播放或暂停（空格）；←→ 一帧，Shift+←→ 一秒，Home/End 首尾</source>
        <translation>Play or pause (Space); ←→ one frame, Shift+←→ one second, Home/End first/last</translation>
    </message>
    <message>
        <source>速度</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>上一标记</source>
        <translation>Previous marker</translation>
    </message>
    <message>
        <source>上一个标记（PgUp）</source>
        <translation>Previous marker (PgUp)</translation>
    </message>
    <message>
        <source>下一标记</source>
        <translation>Next marker</translation>
    </message>
    <message>
        <source>下一个标记（PgDn）</source>
        <translation>Next marker (PgDn)</translation>
    </message>
    <message>
        <source>%1 s / %2 s</source>
        <translation>%1 s / %2 s</translation>
    </message>
    <message>
        <source>%1，%2 Hz</source>
        <translation>%1, %2 Hz</translation>
    </message>
</context>
<context>
    <name>SensorTable</name>
    <message>
        <source>选择</source>
        <translation>Select</translation>
    </message>
    <message>
        <source>X轴</source>
        <translation>X axis</translation>
    </message>
    <message>
        <source>Y轴</source>
        <translation>Y axis</translation>
    </message>
    <message>
        <source>Z轴</source>
        <translation>Z axis</translation>
    </message>
    <message>
        <source>驱动卡的值，超出可输入的范围</source>
        <translation>The card&apos;s value, outside the range that can be typed</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>允许输入范围：1~16</source>
        <translation>Allowed range: 1 to 16</translation>
    </message>
    <message>
        <source>允许输入范围：-32767~32767</source>
        <translation>Allowed range: -32767 to 32767</translation>
    </message>
</context>
<context>
    <name>SingleTab</name>
    <message>
        <source>选择</source>
        <translation>Select</translation>
    </message>
    <message>
        <source>压力</source>
        <translation>Pressure</translation>
    </message>
    <message>
        <source>标定值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>传感器%1-%2轴已写入标定信息</source>
        <translation>Written calibration data, sensor %1, %2 axis</translation>
    </message>
    <message>
        <source>系统提示</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>单点标定成功</source>
        <translation>Single-point calibration done</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>请“单点标定”后再写入</source>
        <translation>Please “Calibrate” before writing</translation>
    </message>
    <message>
        <source>请输入标定的压力值</source>
        <translation>Please enter the calibration pressure</translation>
    </message>
    <message>
        <source>错误信息</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>标定数据空间已写满，请先删除，再写入</source>
        <translation>The driver card&apos;s calibration storage is full: delete some data, then write again</translation>
    </message>
    <message>
        <source>标定数据写入失败</source>
        <translation>Writing the calibration data failed</translation>
    </message>
    <message>
        <source>单点数据读取有误</source>
        <translation>The single-point data read back is invalid</translation>
    </message>
    <message>
        <source>删除驱动卡指定的标定数据失败</source>
        <translation>Could not delete the selected calibration data from the driver card</translation>
    </message>
    <message>
        <source>标定压力值“%1”删除失败</source>
        <translation>Could not delete the calibration pressure “%1”</translation>
    </message>
    <message>
        <source>删除驱动卡标定数据失败</source>
        <translation>Could not delete the calibration data from the driver card</translation>
    </message>
    <message>
        <source>确定删除驱动卡上传感器%1 %2轴的全部单点标定数据吗？</source>
        <translation>Delete all single-point calibration data of sensor %1, %2 axis, on the driver card?</translation>
    </message>
</context>
<context>
    <name>StreamControl</name>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>“%1”不是地址和端口：请填写 [地址:]端口，如 5555 或 0.0.0.0:5555。</source>
        <translation>“%1” is not an address and port: enter [address:]port, such as 5555 or 0.0.0.0:5555.</translation>
    </message>
    <message>
        <source>错误信息</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>无法在 %1 共享数据流：%2</source>
        <translation>Cannot share the stream on %1: %2</translation>
    </message>
    <message>
        <source>共享数据流</source>
        <translation>Share stream</translation>
    </message>
    <message>
        <source>地址和端口（[地址:]端口；只填端口时仅本机的程序可读）：</source>
        <translation>Address and port ([address:]port; a port alone serves this machine only):</translation>
    </message>
    <message>
        <source>停止共享数据流</source>
        <translation>Stop sharing stream</translation>
    </message>
    <message>
        <source>共享数据流…</source>
        <translation>Share stream…</translation>
    </message>
    <message>
        <source>数据流：%1（%2 个客户端）</source>
        <translation>Stream: %1 (%2 clients)</translation>
    </message>
    <message>
        <source>数据流：%1（%2 个客户端，已拒绝 %3 个）</source>
        <translation>Stream: %1 (%2 clients, %3 refused)</translation>
    </message>
</context>
</TS>
