<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>AnalogInputsPanel</name>
    <message>
        <source>Start detecting</source>
        <comment> 开始检测 </comment>
        <translation>开始检测</translation>
    </message>
    <message>
        <source>Stop detecting</source>
        <comment> 停止检测 </comment>
        <translation>停止检测</translation>
    </message>
</context>
<context>
    <name>AnalogOutputRow</name>
    <message>
        <source>Precision:</source>
        <comment> 输出精度: </comment>
        <translation>输出精度:</translation>
    </message>
    <message>
        <source>Output accuracy = interval/maximum register</source>
        <comment> 输出精度=区间值/最大值寄存器 </comment>
        <translation>输出精度=区间值/最大值寄存器</translation>
    </message>
    <message>
        <source>Maximum:0x</source>
        <comment>  最大值寄存器:0x </comment>
        <translation>最大值寄存器:0x</translation>
    </message>
    <message>
        <source>Mode:</source>
        <comment> 输出模式: </comment>
        <translation>输出模式:</translation>
    </message>
    <message>
        <source>write</source>
        <comment> 写入 </comment>
        <translation>写入</translation>
    </message>
    <message>
        <source>write new value into register</source>
        <comment> 写入寄存器 </comment>
        <translation>写入寄存器</translation>
    </message>
    <message>
        <source>Cancel</source>
        <comment> 取消 </comment>
        <translation>取消</translation>
    </message>
    <message>
        <source>View register values</source>
        <comment> 查看寄存器值 </comment>
        <translation>查看寄存器值</translation>
    </message>
</context>
<context>
    <name>AnalogOutputsPanel</name>
    <message>
        <source>warning</source>
        <comment> 警告 </comment>
        <translation>警告</translation>
    </message>
    <message>
        <source>Unable to write until open the serial port.</source>
        <comment> 串口没有打开，无法写入。 </comment>
        <translation>串口没有打开，无法写入。</translation>
    </message>
    <message>
        <source>Maximum value register</source>
        <comment> 最大值寄存器 </comment>
        <translation>最大值寄存器</translation>
    </message>
    <message>
        <source>Output mode registe</source>
        <comment> 输出模式寄存器 </comment>
        <translation>输出模式寄存器</translation>
    </message>
    <message>
        <source>Output register</source>
        <comment> 输出寄存器 </comment>
        <translation>输出寄存器</translation>
    </message>
</context>
<context>
    <name>CheckReport</name>
    <message>
        <source>: expected %1, read %2</source>
        <comment> ：期望 %1，读取 %2 </comment>
        <translation>：期望 %1，读取 %2</translation>
    </message>
    <message>
        <source>%1: %2 passed, %3 failed, %4 not applicable; %5 in %6 ms; restore: %7; identity: %8</source>
        <comment> %1：%2 项通过，%3 项失败，%4 项不适用；%5 用时 %6 ms；恢复：%7；身份：%8 </comment>
        <translation>%1：%2 项通过，%3 项失败，%4 项不适用；%5 用时 %6 ms；恢复：%7；身份：%8</translation>
    </message>
    <message>
        <source>Module check</source>
        <comment> 模块检测 </comment>
        <translation>模块检测</translation>
    </message>
    <message>
        <source>Date</source>
        <comment> 日期 </comment>
        <translation>日期</translation>
    </message>
    <message>
        <source>Tool version</source>
        <comment> 工具版本 </comment>
        <translation>工具版本</translation>
    </message>
    <message>
        <source>Model</source>
        <comment> 型号 </comment>
        <translation>型号</translation>
    </message>
    <message>
        <source>Device address</source>
        <comment> 设备地址 </comment>
        <translation>设备地址</translation>
    </message>
    <message>
        <source>Endpoint</source>
        <comment> 连接地址 </comment>
        <translation>连接地址</translation>
    </message>
    <message>
        <source>Duration</source>
        <comment> 用时 </comment>
        <translation>用时</translation>
    </message>
    <message>
        <source>Restore</source>
        <comment> 恢复 </comment>
        <translation>恢复</translation>
    </message>
    <message>
        <source>Identity</source>
        <comment> 身份 </comment>
        <translation>身份</translation>
    </message>
    <message>
        <source>Verdict</source>
        <comment> 结论 </comment>
        <translation>结论</translation>
    </message>
    <message>
        <source>Group</source>
        <comment> 组 </comment>
        <translation>组</translation>
    </message>
    <message>
        <source>Step</source>
        <comment> 步骤 </comment>
        <translation>步骤</translation>
    </message>
    <message>
        <source>Result</source>
        <comment> 结果 </comment>
        <translation>结果</translation>
    </message>
    <message>
        <source>Expected</source>
        <comment> 期望 </comment>
        <translation>期望</translation>
    </message>
    <message>
        <source>Read</source>
        <comment> 读取 </comment>
        <translation>读取</translation>
    </message>
</context>
<context>
    <name>CheckTexts</name>
    <message>
        <source>Identification</source>
        <comment> 识别 </comment>
        <translation>识别</translation>
    </message>
    <message>
        <source>Outputs</source>
        <comment> 输出 </comment>
        <translation>输出</translation>
    </message>
    <message>
        <source>Inputs</source>
        <comment> 输入 </comment>
        <translation>输入</translation>
    </message>
    <message>
        <source>Analog outputs</source>
        <comment> 模拟量输出 </comment>
        <translation>模拟量输出</translation>
    </message>
    <message>
        <source>Analog inputs</source>
        <comment> 模拟量输入 </comment>
        <translation>模拟量输入</translation>
    </message>
    <message>
        <source>Watchdog</source>
        <comment> 看门狗 </comment>
        <translation>看门狗</translation>
    </message>
    <message>
        <source>Network</source>
        <comment> 网络 </comment>
        <translation>网络</translation>
    </message>
    <message>
        <source>Restore</source>
        <comment> 恢复 </comment>
        <translation>恢复</translation>
    </message>
    <message>
        <source>Link</source>
        <comment> 链路 </comment>
        <translation>链路</translation>
    </message>
    <message>
        <source>module identification</source>
        <comment> 模块识别 </comment>
        <translation>模块识别</translation>
    </message>
    <message>
        <source>model</source>
        <comment> 型号 </comment>
        <translation>型号</translation>
    </message>
    <message>
        <source>identity not confirmed</source>
        <comment> 身份未确认 </comment>
        <translation>身份未确认</translation>
    </message>
    <message>
        <source>no answer to the identification request</source>
        <comment> 识别请求无应答 </comment>
        <translation>识别请求无应答</translation>
    </message>
    <message>
        <source>no answer</source>
        <comment> 无应答 </comment>
        <translation>无应答</translation>
    </message>
    <message>
        <source>address</source>
        <comment> 地址 </comment>
        <translation>地址</translation>
    </message>
    <message>
        <source>type code</source>
        <comment> 类型码 </comment>
        <translation>类型码</translation>
    </message>
    <message>
        <source>not in the catalogue</source>
        <comment> 不在型号表中 </comment>
        <translation>不在型号表中</translation>
    </message>
    <message>
        <source>another model than</source>
        <comment> 型号不是 </comment>
        <translation>型号不是</translation>
    </message>
    <message>
        <source>wrong model</source>
        <comment> 型号错误 </comment>
        <translation>型号错误</translation>
    </message>
    <message>
        <source>confirmed</source>
        <comment> 已确认 </comment>
        <translation>已确认</translation>
    </message>
    <message>
        <source>implausible</source>
        <comment> 不合理 </comment>
        <translation>不合理</translation>
    </message>
    <message>
        <source>switch outputs</source>
        <comment> 开关量输出 </comment>
        <translation>开关量输出</translation>
    </message>
    <message>
        <source>switch inputs</source>
        <comment> 开关量输入 </comment>
        <translation>开关量输入</translation>
    </message>
    <message>
        <source>analog outputs</source>
        <comment> 模拟量输出 </comment>
        <translation>模拟量输出</translation>
    </message>
    <message>
        <source>analog inputs</source>
        <comment> 模拟量输入 </comment>
        <translation>模拟量输入</translation>
    </message>
    <message>
        <source>the model has none</source>
        <comment> 该型号没有 </comment>
        <translation>该型号没有</translation>
    </message>
    <message>
        <source>read output states</source>
        <comment> 读取输出状态 </comment>
        <translation>读取输出状态</translation>
    </message>
    <message>
        <source>read input states</source>
        <comment> 读取输入状态 </comment>
        <translation>读取输入状态</translation>
    </message>
    <message>
        <source>a reply</source>
        <comment> 有应答 </comment>
        <translation>有应答</translation>
    </message>
    <message>
        <source>short reply</source>
        <comment> 应答过短 </comment>
        <translation>应答过短</translation>
    </message>
    <message>
        <source>all on</source>
        <comment> 全部闭合 </comment>
        <translation>全部闭合</translation>
    </message>
    <message>
        <source>all off</source>
        <comment> 全部断开 </comment>
        <translation>全部断开</translation>
    </message>
    <message>
        <source>on</source>
        <comment> 闭合 </comment>
        <translation>闭合</translation>
    </message>
    <message>
        <source>off</source>
        <comment> 断开 </comment>
        <translation>断开</translation>
    </message>
    <message>
        <source>unchanged</source>
        <comment> 不变 </comment>
        <translation>不变</translation>
    </message>
    <message>
        <source>any</source>
        <comment> 任意 </comment>
        <translation>任意</translation>
    </message>
    <message>
        <source>write</source>
        <comment> 写入 </comment>
        <translation>写入</translation>
    </message>
    <message>
        <source>read back</source>
        <comment> 回读 </comment>
        <translation>回读</translation>
    </message>
    <message>
        <source>differs at</source>
        <comment> 不一致于 </comment>
        <translation>不一致于</translation>
    </message>
    <message>
        <source>differs</source>
        <comment> 不一致 </comment>
        <translation>不一致</translation>
    </message>
    <message>
        <source>values</source>
        <comment> 值 </comment>
        <translation>值</translation>
    </message>
    <message>
        <source>maxima</source>
        <comment> 最大值 </comment>
        <translation>最大值</translation>
    </message>
    <message>
        <source>modes</source>
        <comment> 模式 </comment>
        <translation>模式</translation>
    </message>
    <message>
        <source>read value, maximum and mode registers</source>
        <comment> 读取值、最大值和模式寄存器 </comment>
        <translation>读取值、最大值和模式寄存器</translation>
    </message>
    <message>
        <source>analog settings plausible</source>
        <comment> 模拟量设置合理 </comment>
        <translation>模拟量设置合理</translation>
    </message>
    <message>
        <source>maximum and mode</source>
        <comment> 最大值和模式 </comment>
        <translation>最大值和模式</translation>
    </message>
    <message>
        <source>maximum register 0: no range to write</source>
        <comment> 最大值寄存器为0：无可写范围 </comment>
        <translation>最大值寄存器为0：无可写范围</translation>
    </message>
    <message>
        <source>write maximum</source>
        <comment> 写入最大值 </comment>
        <translation>写入最大值</translation>
    </message>
    <message>
        <source>write mode</source>
        <comment> 写入模式 </comment>
        <translation>写入模式</translation>
    </message>
    <message>
        <source>write value</source>
        <comment> 写入值 </comment>
        <translation>写入值</translation>
    </message>
    <message>
        <source>value</source>
        <comment> 值 </comment>
        <translation>值</translation>
    </message>
    <message>
        <source>maximum</source>
        <comment> 最大值 </comment>
        <translation>最大值</translation>
    </message>
    <message>
        <source>mode</source>
        <comment> 模式 </comment>
        <translation>模式</translation>
    </message>
    <message>
        <source>read input values</source>
        <comment> 读取输入值 </comment>
        <translation>读取输入值</translation>
    </message>
    <message>
        <source>channels</source>
        <comment> 通道 </comment>
        <translation>通道</translation>
    </message>
    <message>
        <source>communication timeout block</source>
        <comment> 通讯超时参数 </comment>
        <translation>通讯超时参数</translation>
    </message>
    <message>
        <source>analog models keep their output modes there</source>
        <comment> 模拟量型号在此保存输出模式 </comment>
        <translation>模拟量型号在此保存输出模式</translation>
    </message>
    <message>
        <source>timeout</source>
        <comment> 超时 </comment>
        <translation>超时</translation>
    </message>
    <message>
        <source>watchdog off</source>
        <comment> 看门狗关闭 </comment>
        <translation>看门狗关闭</translation>
    </message>
    <message>
        <source>fallback</source>
        <comment> 超时输出 </comment>
        <translation>超时输出</translation>
    </message>
    <message>
        <source>network block</source>
        <comment> 网络参数 </comment>
        <translation>网络参数</translation>
    </message>
    <message>
        <source>read over TCP only</source>
        <comment> 仅通过TCP读取 </comment>
        <translation>仅通过TCP读取</translation>
    </message>
    <message>
        <source>network settings plausible</source>
        <comment> 网络设置合理 </comment>
        <translation>网络设置合理</translation>
    </message>
    <message>
        <source>mask</source>
        <comment> 子网掩码 </comment>
        <translation>子网掩码</translation>
    </message>
    <message>
        <source>gateway</source>
        <comment> 网关 </comment>
        <translation>网关</translation>
    </message>
    <message>
        <source>port</source>
        <comment> 端口 </comment>
        <translation>端口</translation>
    </message>
    <message>
        <source>remote IP</source>
        <comment> 远程IP </comment>
        <translation>远程IP</translation>
    </message>
    <message>
        <source>remote port</source>
        <comment> 远程端口 </comment>
        <translation>远程端口</translation>
    </message>
    <message>
        <source>output states</source>
        <comment> 输出状态 </comment>
        <translation>输出状态</translation>
    </message>
    <message>
        <source>registers</source>
        <comment> 寄存器 </comment>
        <translation>寄存器</translation>
    </message>
    <message>
        <source>not restored</source>
        <comment> 未恢复 </comment>
        <translation>未恢复</translation>
    </message>
    <message>
        <source>restored</source>
        <comment> 已恢复 </comment>
        <translation>已恢复</translation>
    </message>
    <message>
        <source>nothing to restore</source>
        <comment> 无需恢复 </comment>
        <translation>无需恢复</translation>
    </message>
    <message>
        <source>link</source>
        <comment> 链路 </comment>
        <translation>链路</translation>
    </message>
    <message>
        <source>link lost</source>
        <comment> 链路断开 </comment>
        <translation>链路断开</translation>
    </message>
    <message>
        <source>lost</source>
        <comment> 断开 </comment>
        <translation>断开</translation>
    </message>
    <message>
        <source>up to the end of the check</source>
        <comment> 直到检测结束 </comment>
        <translation>直到检测结束</translation>
    </message>
    <message>
        <source>link figures</source>
        <comment> 链路统计 </comment>
        <translation>链路统计</translation>
    </message>
    <message>
        <source>every request answered</source>
        <comment> 每个请求都有应答 </comment>
        <translation>每个请求都有应答</translation>
    </message>
    <message>
        <source>requests</source>
        <comment> 请求 </comment>
        <translation>请求</translation>
    </message>
    <message>
        <source>unanswered</source>
        <comment> 无应答 </comment>
        <translation>无应答</translation>
    </message>
    <message>
        <source>exceptions</source>
        <comment> 异常 </comment>
        <translation>异常</translation>
    </message>
    <message>
        <source>exception</source>
        <comment> 异常 </comment>
        <translation>异常</translation>
    </message>
    <message>
        <source>bad frames</source>
        <comment> 坏帧 </comment>
        <translation>坏帧</translation>
    </message>
    <message>
        <source>response last/mean/max</source>
        <comment> 响应 最近/平均/最大 </comment>
        <translation>响应 最近/平均/最大</translation>
    </message>
    <message>
        <source>no reply</source>
        <comment> 无应答 </comment>
        <translation>无应答</translation>
    </message>
    <message>
        <source>the link dropped the request</source>
        <comment> 链路丢弃了请求 </comment>
        <translation>链路丢弃了请求</translation>
    </message>
    <message>
        <source>the module closed the connection</source>
        <comment> 模块关闭了连接 </comment>
        <translation>模块关闭了连接</translation>
    </message>
    <message>
        <source>no connection</source>
        <comment> 无连接 </comment>
        <translation>无连接</translation>
    </message>
    <message>
        <source>pass</source>
        <comment> 通过 </comment>
        <translation>通过</translation>
    </message>
    <message>
        <source>fail</source>
        <comment> 失败 </comment>
        <translation>失败</translation>
    </message>
    <message>
        <source>n/a</source>
        <comment> 不适用 </comment>
        <translation>不适用</translation>
    </message>
    <message>
        <source>INTERRUPTED</source>
        <comment> 已中断 </comment>
        <translation>已中断</translation>
    </message>
    <message>
        <source>CANCELLED</source>
        <comment> 已取消 </comment>
        <translation>已取消</translation>
    </message>
    <message>
        <source>PASS</source>
        <comment> 合格 </comment>
        <translation>合格</translation>
    </message>
    <message>
        <source>FAIL</source>
        <comment> 不合格 </comment>
        <translation>不合格</translation>
    </message>
    <message>
        <source>not sent</source>
        <comment> 未发送 </comment>
        <translation>未发送</translation>
    </message>
    <message>
        <source>values a module can hold</source>
        <comment> 模块可能有的值 </comment>
        <translation>模块可能有的值</translation>
    </message>
    <message>
        <source>plausible</source>
        <comment> 合理 </comment>
        <translation>合理</translation>
    </message>
    <message>
        <source>is no host address</source>
        <comment> 不是主机地址 </comment>
        <translation>不是主机地址</translation>
    </message>
    <message>
        <source>is the network or broadcast address of its subnet</source>
        <comment> 是其子网的网络地址或广播地址 </comment>
        <translation>是其子网的网络地址或广播地址</translation>
    </message>
    <message>
        <source>is a group address</source>
        <comment> 是组地址 </comment>
        <translation>是组地址</translation>
    </message>
    <message>
        <source>first byte</source>
        <comment> 首字节 </comment>
        <translation>首字节</translation>
    </message>
    <message>
        <source>is odd</source>
        <comment> 为奇数 </comment>
        <translation>为奇数</translation>
    </message>
    <message>
        <source>is no device address</source>
        <comment> 不是设备地址 </comment>
        <translation>不是设备地址</translation>
    </message>
    <message>
        <source>as a client or over UDP it has no remote peer</source>
        <comment> 作为客户端或UDP时没有远程对端 </comment>
        <translation>作为客户端或UDP时没有远程对端</translation>
    </message>
    <message>
        <source>is not another host of the module&apos;s subnet</source>
        <comment> 不是模块子网中的另一台主机 </comment>
        <translation>不是模块子网中的另一台主机</translation>
    </message>
    <message>
        <source>is not a contiguous subnet mask</source>
        <comment> 不是连续的子网掩码 </comment>
        <translation>不是连续的子网掩码</translation>
    </message>
    <message>
        <source>no output range</source>
        <comment> 无输出范围 </comment>
        <translation>无输出范围</translation>
    </message>
    <message>
        <source>is no output mode</source>
        <comment> 不是输出模式 </comment>
        <translation>不是输出模式</translation>
    </message>
    <message>
        <source>network block short</source>
        <comment> 网络参数不完整 </comment>
        <translation>网络参数不完整</translation>
    </message>
    <message>
        <source>register</source>
        <comment> 寄存器 </comment>
        <translation>寄存器</translation>
    </message>
    <message>
        <source>holds</source>
        <comment> 的值为 </comment>
        <translation>的值为</translation>
    </message>
    <message>
        <source>more than a byte</source>
        <comment> 超过一个字节 </comment>
        <translation>超过一个字节</translation>
    </message>
    <message>
        <source>working mode</source>
        <comment> 工作模式 </comment>
        <translation>工作模式</translation>
    </message>
    <message>
        <source>server</source>
        <comment> 服务器 </comment>
        <translation>服务器</translation>
    </message>
    <message>
        <source>client</source>
        <comment> 客户端 </comment>
        <translation>客户端</translation>
    </message>
    <message>
        <source>Illegal function</source>
        <comment> 非法功能码 </comment>
        <translation>非法功能码</translation>
    </message>
    <message>
        <source>Illegal data address</source>
        <comment> 非法数据地址 </comment>
        <translation>非法数据地址</translation>
    </message>
    <message>
        <source>Illegal data value</source>
        <comment> 非法数据值 </comment>
        <translation>非法数据值</translation>
    </message>
    <message>
        <source>Slave device failure</source>
        <comment> 从站设备故障 </comment>
        <translation>从站设备故障</translation>
    </message>
    <message>
        <source>Acknowledge</source>
        <comment> 确认 </comment>
        <translation>确认</translation>
    </message>
    <message>
        <source>Slave device busy</source>
        <comment> 从站设备忙 </comment>
        <translation>从站设备忙</translation>
    </message>
    <message>
        <source>Negative acknowledge</source>
        <comment> 否定确认 </comment>
        <translation>否定确认</translation>
    </message>
    <message>
        <source>Memory parity error</source>
        <comment> 存储奇偶校验错误 </comment>
        <translation>存储奇偶校验错误</translation>
    </message>
    <message>
        <source>Gateway path unavailable</source>
        <comment> 网关路径不可用 </comment>
        <translation>网关路径不可用</translation>
    </message>
    <message>
        <source>Gateway target device failed to respond</source>
        <comment> 网关目标设备无响应 </comment>
        <translation>网关目标设备无响应</translation>
    </message>
</context>
<context>
    <name>CommunicationTimeout</name>
    <message>
        <source>Setting</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Communication timeout setting</source>
        <translation>通讯超时设置</translation>
    </message>
    <message>
        <source>Timeout response time:</source>
        <translation>超时响应时间：</translation>
    </message>
    <message>
        <source>0-4294967295</source>
        <translation>0-4294967295</translation>
    </message>
    <message>
        <source>ms</source>
        <translation>毫秒</translation>
    </message>
    <message>
        <source>background-color: rgb(255, 0, 0);</source>
        <translation>background-color: rgb(255, 0, 0);</translation>
    </message>
    <message>
        <source>OFF</source>
        <translation>断开</translation>
    </message>
    <message>
        <source>background-color: rgb(0, 255, 0);</source>
        <translation>background-color: rgb(0, 255, 0);</translation>
    </message>
    <message>
        <source>ON</source>
        <translation>闭合</translation>
    </message>
    <message>
        <source>background-color: rgb(0, 0, 255);</source>
        <translation>background-color: rgb(0, 0, 255);</translation>
    </message>
    <message>
        <source>Remain unchanged</source>
        <translation>保持不变</translation>
    </message>
    <message>
        <source>Communication timeout description: If the communication is interrupted for some reason and the failure time is greater than the time set in the timeout register, the communication timeout is considered.
If the timeout response time is 0 or null, no timeout response is generated.</source>
        <comment> 通讯超时说明：若因某种原因导致通信中断，且故障时间大于超时寄存器中所设定的时间，即认为通讯超时。
若超时响应时间为0或者空，则不会产生超时响应。 </comment>
        <translation>通讯超时说明：若因某种原因导致通信中断，且故障时间大于超时寄存器中所设定的时间，即认为通讯超时。
若超时响应时间为0或者空，则不会产生超时响应。</translation>
    </message>
    <message>
        <source>OK</source>
        <comment> 确认 </comment>
        <translation>确认</translation>
    </message>
    <message>
        <source>Timeout Setting</source>
        <comment> 通讯超时设置 </comment>
        <translation>通讯超时设置</translation>
    </message>
    <message>
        <source>Writing to the module…</source>
        <comment> 正在写入模块… </comment>
        <translation>正在写入模块…</translation>
    </message>
    <message>
        <source>Communication timeout set successfully</source>
        <comment> 通讯超时设置成功 </comment>
        <translation>通讯超时设置成功</translation>
    </message>
    <message>
        <source>the module did not answer in time</source>
        <comment> 模块未及时回复 </comment>
        <translation>模块未及时回复</translation>
    </message>
    <message>
        <source>it was not sent: no link to the module</source>
        <comment> 未发送：没有连接模块 </comment>
        <translation>未发送：没有连接模块</translation>
    </message>
    <message>
        <source>the module refused it (exception %1)</source>
        <comment> 模块拒绝（异常 %1） </comment>
        <translation>模块拒绝（异常 %1）</translation>
    </message>
    <message>
        <source>Not set: %1</source>
        <comment> 未设置：%1 </comment>
        <translation>未设置：%1</translation>
    </message>
</context>
<context>
    <name>Confirmation</name>
    <message>
        <source>Ask before switching relays or restarting</source>
        <comment> 切换继电器或重启前先询问 </comment>
        <translation>切换继电器或重启前先询问</translation>
    </message>
    <message>
        <source>Turn off only for a bench with nothing connected to the module.</source>
        <comment> 仅在模块未接任何负载时关闭。 </comment>
        <translation>仅在模块未接任何负载时关闭。</translation>
    </message>
    <message>
        <source>Please confirm</source>
        <comment> 请确认 </comment>
        <translation>请确认</translation>
    </message>
</context>
<context>
    <name>ConnectionStatus</name>
    <message>
        <source>Serial %1 — opening</source>
        <comment> 串口 %1 — 正在打开 </comment>
        <translation>串口 %1 — 正在打开</translation>
    </message>
    <message>
        <source>Serial %1 — open</source>
        <comment> 串口 %1 — 已打开 </comment>
        <translation>串口 %1 — 已打开</translation>
    </message>
    <message>
        <source>Serial %1 — did not open</source>
        <comment> 串口 %1 — 未能打开 </comment>
        <translation>串口 %1 — 未能打开</translation>
    </message>
    <message>
        <source>TCP %1 — connecting</source>
        <comment> TCP %1 — 正在连接 </comment>
        <translation>TCP %1 — 正在连接</translation>
    </message>
    <message>
        <source>TCP %1 — connected</source>
        <comment> TCP %1 — 已连接 </comment>
        <translation>TCP %1 — 已连接</translation>
    </message>
    <message>
        <source>TCP %1 — reconnecting in %2 s</source>
        <comment> TCP %1 — %2 秒后重连 </comment>
        <translation>TCP %1 — %2 秒后重连</translation>
    </message>
    <message>
        <source>No link</source>
        <comment> 无连接 </comment>
        <translation>无连接</translation>
    </message>
    <message>
        <source>Serial port opened: %1</source>
        <comment> 串口已打开：%1 </comment>
        <translation>串口已打开：%1</translation>
    </message>
    <message>
        <source>Serial port closed: %1</source>
        <comment> 串口已关闭：%1 </comment>
        <translation>串口已关闭：%1</translation>
    </message>
    <message>
        <source>Reconnected: TCP %1</source>
        <comment> 已重新连接：TCP %1 </comment>
        <translation>已重新连接：TCP %1</translation>
    </message>
    <message>
        <source>Connected: TCP %1</source>
        <comment> 已连接：TCP %1 </comment>
        <translation>已连接：TCP %1</translation>
    </message>
    <message>
        <source>TCP %1 closed while the serial port is in use</source>
        <comment> 串口使用中，TCP %1 已关闭 </comment>
        <translation>串口使用中，TCP %1 已关闭</translation>
    </message>
    <message>
        <source>Connection lost: TCP %1</source>
        <comment> 连接断开：TCP %1 </comment>
        <translation>连接断开：TCP %1</translation>
    </message>
    <message>
        <source>Model: %1</source>
        <comment> 型号：%1 </comment>
        <translation>型号：%1</translation>
    </message>
</context>
<context>
    <name>FindFlow</name>
    <message>
        <source>Find module</source>
        <comment> 查找模块 </comment>
        <translation>查找模块</translation>
    </message>
    <message>
        <source>Cancel</source>
        <comment> 取消 </comment>
        <translation>取消</translation>
    </message>
    <message>
        <source>Find module: cancelled</source>
        <comment> 查找模块：已取消 </comment>
        <translation>查找模块：已取消</translation>
    </message>
    <message>
        <source>Find module: %1</source>
        <comment> 查找模块：%1 </comment>
        <translation>查找模块：%1</translation>
    </message>
    <message>
        <source>Find module: nothing found</source>
        <comment> 查找模块：未找到 </comment>
        <translation>查找模块：未找到</translation>
    </message>
    <message>
        <source>Find module: %1 %2 %3, address %4 %5</source>
        <comment> 查找模块：%1 %2 %3，地址 %4 %5 </comment>
        <translation>查找模块：%1 %2 %3，地址 %4 %5</translation>
    </message>
</context>
<context>
    <name>FindModuleDialog</name>
    <message>
        <source>Find module</source>
        <comment> 查找模块 </comment>
        <translation>查找模块</translation>
    </message>
    <message>
        <source>Port</source>
        <comment> 端口 </comment>
        <translation>端口</translation>
    </message>
    <message>
        <source>Baud rate</source>
        <comment> 波特率 </comment>
        <translation>波特率</translation>
    </message>
    <message>
        <source>Framing</source>
        <comment> 数据格式 </comment>
        <translation>数据格式</translation>
    </message>
    <message>
        <source>Address</source>
        <comment> 地址 </comment>
        <translation>地址</translation>
    </message>
    <message>
        <source>Type code</source>
        <comment> 类型码 </comment>
        <translation>类型码</translation>
    </message>
    <message>
        <source>Model</source>
        <comment> 型号 </comment>
        <translation>型号</translation>
    </message>
    <message>
        <source>MAC</source>
        <comment> MAC </comment>
        <translation>MAC</translation>
    </message>
    <message>
        <source>Found by</source>
        <comment> 查找方式 </comment>
        <translation>查找方式</translation>
    </message>
    <message>
        <source>Use</source>
        <comment> 使用 </comment>
        <translation>使用</translation>
    </message>
    <message>
        <source>Close</source>
        <comment> 关闭 </comment>
        <translation>关闭</translation>
    </message>
    <message>
        <source>identification</source>
        <comment> 身份报告 </comment>
        <translation>身份报告</translation>
    </message>
    <message>
        <source>address sweep</source>
        <comment> 地址扫描 </comment>
        <translation>地址扫描</translation>
    </message>
    <message>
        <source>Nothing found</source>
        <comment> 未找到模块 </comment>
        <translation>未找到模块</translation>
    </message>
    <message>
        <source>%1 baud %2</source>
        <comment> %1 波特 %2 </comment>
        <translation>%1 波特 %2</translation>
    </message>
    <message>
        <source>One module answered: %1, address %2. Use it now?</source>
        <comment> 找到一个模块：%1，地址 %2。现在使用吗？ </comment>
        <translation>找到一个模块：%1，地址 %2。现在使用吗？</translation>
    </message>
    <message>
        <source>%1 modules answered: choose one and click &quot;Use&quot;</source>
        <comment> 找到 %1 个模块：选择一个并点击“使用” </comment>
        <translation>找到 %1 个模块：选择一个并点击“使用”</translation>
    </message>
    <message>
        <source>The search stopped: %1</source>
        <comment> 查找中止：%1 </comment>
        <translation>查找中止：%1</translation>
    </message>
    <message>
        <source>answers every address (a gateway or a generic Modbus server)</source>
        <comment> 每个地址都应答（网关或通用 Modbus 服务器） </comment>
        <translation>每个地址都应答（网关或通用 Modbus 服务器）</translation>
    </message>
</context>
<context>
    <name>HelpWidget</name>
    <message>
        <source>Help document</source>
        <translation>帮助文档</translation>
    </message>
    <message>
        <source>Software usage help</source>
        <translation>软件使用帮助</translation>
    </message>
    <message>
        <source>Hardware wiring help</source>
        <translation>硬件接线帮助</translation>
    </message>
    <message>
        <source>color: rgb(0, 0, 255);</source>
        <translation>color: rgb(0, 0, 255);</translation>
    </message>
    <message>
        <source>Dial Switch</source>
        <translation>拨码开关</translation>
    </message>
    <message>
        <source>Wiring diagram</source>
        <translation>接线图</translation>
    </message>
    <message>
        <source>1* Automatic detection after opening the software, the default device address is 1,485 module, if the detection is successful, it will automatically connect 
2* If connection fails, please check whether wiring and module dial code are correct, refer to hardware wiring help 
3* Model test default Baud rate 115200, data bit 8, stop bit 1, check bit no 
4* The receiver receives the feedback information from the module, and each instruction sends a feedback message 
5* Output control terminal control output 
6* Input detection terminal to detect input. Click &quot;To start detection&quot;
 before detection.
* Pay special attention * The sender does not need to enter CRC check 
 again to send instructions </source>
        <translation>1* 打开软件后自动检测，默认设备地址为1，485模块检测成功后自动连接
2* 若连接失败，请检查接线和模块拨码是否正确，参见硬件接线帮助
3* 型号测试默认波特率115200，数据位8，停止位1，无校验
4* 接收端显示模块的反馈信息，每条指令都有一条反馈信息
5* 输出控制端控制输出
6* 输入检测端检测输入，检测前请点击“开始检测”。
* 特别注意 * 发送端发送指令无需再输入CRC校验</translation>
    </message>
</context>
<context>
    <name>InputHistory</name>
    <message>
        <source>%1 on %2</source>
        <comment> %1 接通 %2 </comment>
        <translation>%1 接通 %2</translation>
    </message>
    <message>
        <source>%1 off %2</source>
        <comment> %1 断开 %2 </comment>
        <translation>%1 断开 %2</translation>
    </message>
</context>
<context>
    <name>LinkControlsPanel</name>
    <message>
        <source>Connect</source>
        <comment> 连接 </comment>
        <translation>连接</translation>
    </message>
    <message>
        <source>DisConnect</source>
        <comment> 断开 </comment>
        <translation>断开</translation>
    </message>
    <message>
        <source>Open</source>
        <comment> 打开 </comment>
        <translation>打开</translation>
    </message>
    <message>
        <source>Close</source>
        <comment> 关闭 </comment>
        <translation>关闭</translation>
    </message>
    <message>
        <source>No reply</source>
        <comment> 无回复 </comment>
        <translation>无回复</translation>
    </message>
    <message>
        <source>Serial port open failed</source>
        <comment>串口打开失败</comment>
        <translation>串口打开失败</translation>
    </message>
    <message>
        <source>warning</source>
        <comment>警告</comment>
        <translation>警告</translation>
    </message>
    <message>
        <source>Serial port lost: %1</source>
        <comment> 串口断开：%1 </comment>
        <translation>串口断开：%1</translation>
    </message>
</context>
<context>
    <name>LinkHealthView</name>
    <message>
        <source>Reset</source>
        <comment> 清零 </comment>
        <translation>清零</translation>
    </message>
    <message>
        <source>Reset the link counters</source>
        <comment> 链路计数清零 </comment>
        <translation>链路计数清零</translation>
    </message>
    <message>
        <source>%1, reconnecting in %2 s</source>
        <comment> %1，%2 秒后重连 </comment>
        <translation>%1，%2 秒后重连</translation>
    </message>
    <message>
        <source>No link</source>
        <comment> 无连接 </comment>
        <translation>无连接</translation>
    </message>
    <message>
        <source>Address %1</source>
        <comment> 地址 %1 </comment>
        <translation>地址 %1</translation>
    </message>
    <message>
        <source>No model</source>
        <comment> 未选型号 </comment>
        <translation>未选型号</translation>
    </message>
    <message>
        <source>Sent %1  Replies %2  Time-outs %3  Bad frames %4  Exceptions %5</source>
        <comment> 发送 %1  回复 %2  超时 %3  错误帧 %4  异常 %5 </comment>
        <translation>发送 %1  回复 %2  超时 %3  错误帧 %4  异常 %5</translation>
    </message>
    <message>
        <source>Bad frames: CRC %1, unmatched %2, garbage %3</source>
        <comment> 错误帧：校验 %1，不匹配 %2，乱码 %3 </comment>
        <translation>错误帧：校验 %1，不匹配 %2，乱码 %3</translation>
    </message>
    <message>
        <source>Response -</source>
        <comment> 响应 - </comment>
        <translation>响应 -</translation>
    </message>
    <message>
        <source>Response time: last / mean / max</source>
        <comment> 响应时间：最近/平均/最大 </comment>
        <translation>响应时间：最近/平均/最大</translation>
    </message>
    <message>
        <source>%1 / %2 / %3 ms</source>
        <comment> %1 / %2 / %3 毫秒 </comment>
        <translation>%1 / %2 / %3 毫秒</translation>
    </message>
    <message>
        <source>No reply yet</source>
        <comment> 尚无回复 </comment>
        <translation>尚无回复</translation>
    </message>
    <message>
        <source>Last reply %1 s ago</source>
        <comment> %1 秒前回复 </comment>
        <translation>%1 秒前回复</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Test</source>
        <translation>测试</translation>
    </message>
    <message>
        <source>QMainWindow, QDialog, QToolBar, QTabBar, QMenuBar, QStatusBar, QWidget#centralwidget, QWidget#scrollAreaWidgetContents {
    background-color: rgb(245, 235, 205);
}
</source>
        <translation>QMainWindow, QDialog, QToolBar, QTabBar, QMenuBar, QStatusBar, QWidget#centralwidget, QWidget#scrollAreaWidgetContents {
    background-color: rgb(245, 235, 205);
}
</translation>
    </message>
    <message>
        <source>Device Address:</source>
        <translation>设备地址：</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>端口：</translation>
    </message>
    <message>
        <source>Baud rate:</source>
        <translation>波特率：</translation>
    </message>
    <message>
        <source>115200</source>
        <translation>115200</translation>
    </message>
    <message>
        <source>57600</source>
        <translation>57600</translation>
    </message>
    <message>
        <source>38400</source>
        <translation>38400</translation>
    </message>
    <message>
        <source>19200</source>
        <translation>19200</translation>
    </message>
    <message>
        <source>9600</source>
        <translation>9600</translation>
    </message>
    <message>
        <source>4800</source>
        <translation>4800</translation>
    </message>
    <message>
        <source>2400</source>
        <translation>2400</translation>
    </message>
    <message>
        <source>1200</source>
        <translation>1200</translation>
    </message>
    <message>
        <source>Data bits:</source>
        <translation>数据位：</translation>
    </message>
    <message>
        <source>8</source>
        <translation>8</translation>
    </message>
    <message>
        <source>7</source>
        <translation>7</translation>
    </message>
    <message>
        <source>Parity:</source>
        <translation>校验位：</translation>
    </message>
    <message>
        <source>None</source>
        <translation>无</translation>
    </message>
    <message>
        <source>Even</source>
        <translation>偶</translation>
    </message>
    <message>
        <source>Odd</source>
        <translation>奇</translation>
    </message>
    <message>
        <source>Stop bits:</source>
        <translation>停止位：</translation>
    </message>
    <message>
        <source>2</source>
        <translation>2</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>未连接</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>打开</translation>
    </message>
    <message>
        <source>Local IP:</source>
        <translation>本地IP：</translation>
    </message>
    <message>
        <source>000.000.000.000</source>
        <translation>000.000.000.000</translation>
    </message>
    <message>
        <source>Listening port number:</source>
        <translation>监听端口号：</translation>
    </message>
    <message>
        <source>4000</source>
        <translation>4000</translation>
    </message>
    <message>
        <source>0-65535</source>
        <translation>0-65535</translation>
    </message>
    <message>
        <source>Remote IP:</source>
        <translation>远程IP：</translation>
    </message>
    <message>
        <source>192.168.1.80</source>
        <translation>192.168.1.80</translation>
    </message>
    <message>
        <source>Remote port number:</source>
        <translation>远程端口号：</translation>
    </message>
    <message>
        <source>8080</source>
        <translation>8080</translation>
    </message>
    <message>
        <source>Description: only one of serial port and network can be used at the same time 
If serial port is used, select &quot;port&quot;, and click &quot;open&quot;
To use the network, the serial port must be closed 
First, connect to the remote IP as a client, 
Modifying the remote IP will automatically try to connect. 
* Pay special attention * no need to input CRC check for sending instructions from the sending side 
</source>
        <translation>说明：串口和网络同一时间只能使用其中一个
使用串口时，选择“端口”，然后点击“打开”
使用网络时，必须先关闭串口
先以客户端身份连接远程IP，
修改远程IP会自动尝试连接。
* 特别注意 * 发送端发送指令无需输入CRC校验
</translation>
    </message>
    <message>
        <source>color: rgb(200, 0, 0); font-weight: bold;</source>
        <translation>color: rgb(200, 0, 0); font-weight: bold;</translation>
    </message>
    <message>
        <source>Output control terminal</source>
        <translation>输出控制端</translation>
    </message>
    <message>
        <source>OperCode</source>
        <translation>操作码</translation>
    </message>
    <message>
        <source>OperationCode</source>
        <translation>操作码</translation>
    </message>
    <message>
        <source>All Open</source>
        <translation>全开</translation>
    </message>
    <message>
        <source>All Close</source>
        <translation>全关</translation>
    </message>
    <message>
        <source>Single Choice Mode</source>
        <translation>单选模式</translation>
    </message>
    <message>
        <source>Input detection terminal</source>
        <translation>输入检测端</translation>
    </message>
    <message>
        <source>Start detecting</source>
        <translation>开始检测</translation>
    </message>
    <message>
        <source>Analog output terminal</source>
        <translation>模拟量输出端</translation>
    </message>
    <message>
        <source>Factory data reset</source>
        <translation>恢复出厂设置</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>刷新</translation>
    </message>
    <message>
        <source>Analog input acquisition terminal</source>
        <translation>模拟量输入采集端</translation>
    </message>
    <message>
        <source>Recieve</source>
        <translation>接收</translation>
    </message>
    <message>
        <source>Display uppercase</source>
        <translation>大写显示</translation>
    </message>
    <message>
        <source>Display Lowercase</source>
        <translation>小写显示</translation>
    </message>
    <message>
        <source>Clear display</source>
        <translation>清除显示</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>清除</translation>
    </message>
    <message>
        <source>20</source>
        <translation>20</translation>
    </message>
    <message>
        <source>ms</source>
        <translation>毫秒</translation>
    </message>
    <message>
        <source>Regularly send</source>
        <translation>定时发送</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>发送</translation>
    </message>
    <message>
        <source>Switch  4-channel outputs</source>
        <comment> 开关量4路输出  </comment>
        <translation>开关量4路输出</translation>
    </message>
    <message>
        <source>Switch  8-channel outputs</source>
        <comment> 开关量8路输出  </comment>
        <translation>开关量8路输出</translation>
    </message>
    <message>
        <source>Switch 12-channel outputs</source>
        <comment> 开关量12路输出 </comment>
        <translation>开关量12路输出</translation>
    </message>
    <message>
        <source>Switch 16-channel outputs</source>
        <comment> 开关量16路输出 </comment>
        <translation>开关量16路输出</translation>
    </message>
    <message>
        <source>Switch 20-channel outputs</source>
        <comment> 开关量20路输出 </comment>
        <translation>开关量20路输出</translation>
    </message>
    <message>
        <source>Switch 24-channel outputs</source>
        <comment> 开关量24路输出 </comment>
        <translation>开关量24路输出</translation>
    </message>
    <message>
        <source>Switch 32-channel outputs</source>
        <comment> 开关量32路输出 </comment>
        <translation>开关量32路输出</translation>
    </message>
    <message>
        <source>Switch 64-channel outputs</source>
        <comment> 开关量64路输出 </comment>
        <translation>开关量64路输出</translation>
    </message>
    <message>
        <source>Switch  4-channel inputs</source>
        <comment> 开关量4路输入  </comment>
        <translation>开关量4路输入</translation>
    </message>
    <message>
        <source>Switch  8-channel inputs</source>
        <comment> 开关量8路输入  </comment>
        <translation>开关量8路输入</translation>
    </message>
    <message>
        <source>Switch 12-channel inputs</source>
        <comment> 开关量12路输入 </comment>
        <translation>开关量12路输入</translation>
    </message>
    <message>
        <source>Switch 16-channel inputs</source>
        <comment> 开关量16路输入 </comment>
        <translation>开关量16路输入</translation>
    </message>
    <message>
        <source>Switch 20-channel inputs</source>
        <comment> 开关量20路输入 </comment>
        <translation>开关量20路输入</translation>
    </message>
    <message>
        <source>Switch 24-channel inputs</source>
        <comment> 开关量24路输入 </comment>
        <translation>开关量24路输入</translation>
    </message>
    <message>
        <source>Switch 32-channel inputs</source>
        <comment> 开关量32路输入 </comment>
        <translation>开关量32路输入</translation>
    </message>
    <message>
        <source>Switch 64-channel inputs</source>
        <comment> 开关量64路输入 </comment>
        <translation>开关量64路输入</translation>
    </message>
    <message>
        <source>Switch  8-channel outputs  8-channel inputs</source>
        <comment> 开关量8路输出8路输入   </comment>
        <translation>开关量8路输出8路输入</translation>
    </message>
    <message>
        <source>Switch 16-channel outputs 16-channel inputs</source>
        <comment> 开关量16路输出16路输入 </comment>
        <translation>开关量16路输出16路输入</translation>
    </message>
    <message>
        <source>Switch 32-channel outputs 16-channel inputs</source>
        <comment> 开关量32路输出16路输入 </comment>
        <translation>开关量32路输出16路输入</translation>
    </message>
    <message>
        <source>Switch 32-channel outputs 32-channel inputs</source>
        <comment> 开关量32路输出32路输入 </comment>
        <translation>开关量32路输出32路输入</translation>
    </message>
    <message>
        <source>Analog voltage  2-channel outputs</source>
        <comment> 模拟量电压2 路输出 </comment>
        <translation>模拟量电压2 路输出</translation>
    </message>
    <message>
        <source>Analog voltage  8-channel outputs</source>
        <comment> 模拟量电压8 路输出 </comment>
        <translation>模拟量电压8 路输出</translation>
    </message>
    <message>
        <source>Analog voltage 12-channel outputs</source>
        <comment> 模拟量电压12路输出 </comment>
        <translation>模拟量电压12路输出</translation>
    </message>
    <message>
        <source>Analog current  2-channel outputs</source>
        <comment> 模拟量电流2 路输出 </comment>
        <translation>模拟量电流2 路输出</translation>
    </message>
    <message>
        <source>Analog current  8-channel outputs</source>
        <comment> 模拟量电流8 路输出 </comment>
        <translation>模拟量电流8 路输出</translation>
    </message>
    <message>
        <source>Analog current 12-channel outputs</source>
        <comment> 模拟量电流12路输出 </comment>
        <translation>模拟量电流12路输出</translation>
    </message>
    <message>
        <source>Analog voltage  4-channel inputs</source>
        <comment> 模拟量电压4 路输入 </comment>
        <translation>模拟量电压4 路输入</translation>
    </message>
    <message>
        <source>Analog voltage  8-channel inputs</source>
        <comment> 模拟量电压8 路输入 </comment>
        <translation>模拟量电压8 路输入</translation>
    </message>
    <message>
        <source>Analog voltage 12-channel inputs</source>
        <comment> 模拟量电压12路输入 </comment>
        <translation>模拟量电压12路输入</translation>
    </message>
    <message>
        <source>Analog voltage 16-channel inputs</source>
        <comment> 模拟量电压16路输入 </comment>
        <translation>模拟量电压16路输入</translation>
    </message>
    <message>
        <source>Analog voltage 32-channel inputs</source>
        <comment> 模拟量电压32路输入 </comment>
        <translation>模拟量电压32路输入</translation>
    </message>
    <message>
        <source>Analog current  4-channel inputs</source>
        <comment> 模拟量电流4 路输入 </comment>
        <translation>模拟量电流4 路输入</translation>
    </message>
    <message>
        <source>Analog current  8-channel inputs</source>
        <comment> 模拟量电流8 路输入 </comment>
        <translation>模拟量电流8 路输入</translation>
    </message>
    <message>
        <source>Analog current 12-channel inputs</source>
        <comment> 模拟量电流12路输入 </comment>
        <translation>模拟量电流12路输入</translation>
    </message>
    <message>
        <source>Analog current 16-channel inputs</source>
        <comment> 模拟量电流16路输入 </comment>
        <translation>模拟量电流16路输入</translation>
    </message>
    <message>
        <source>Analog current 32-channel inputs</source>
        <comment> 模拟量电流32路输入 </comment>
        <translation>模拟量电流32路输入</translation>
    </message>
    <message>
        <source>Language</source>
        <comment> 语言 </comment>
        <translation>语言</translation>
    </message>
    <message>
        <source>The language changes at the next start of the program.</source>
        <comment> 语言将在程序下次启动时更改。 </comment>
        <translation>语言将在程序下次启动时更改。</translation>
    </message>
    <message>
        <source>Description: only one of serial port and network can be used at the same time 
If serial port is used, select &quot;port&quot;, and click &quot;open&quot;
To use the network, the serial port must be closed 
First, connect to the remote IP as a client, 
Modifying the remote IP will automatically try to connect. 
 
* Pay special attention * no need to input CRC check for sending instructions from the sending side 
</source>
        <translation>说明：串口和网络同一时间只能使用其中一个
使用串口时，选择“端口”，然后点击“打开”
使用网络时，必须先关闭串口
先以客户端身份连接远程IP，
修改远程IP会自动尝试连接。

* 特别注意 * 发送端发送指令无需输入CRC校验
</translation>
    </message>
    <message>
        <source>The module does not have these registers: choose the model that fits it</source>
        <comment> 模块没有这些寄存器：请选择与模块相符的型号 </comment>
        <translation>模块没有这些寄存器：请选择与模块相符的型号</translation>
    </message>
    <message>
        <source>To help illustrate</source>
        <comment> 帮助说明 </comment>
        <translation>帮助说明</translation>
    </message>
    <message>
        <source>Software description and hardware model description.</source>
        <comment> 软件说明以及硬件型号说明、接线 </comment>
        <translation>软件说明以及硬件型号说明、接线</translation>
    </message>
    <message>
        <source>Timeout Setting</source>
        <comment> 通讯超时设置 </comment>
        <translation>通讯超时设置</translation>
    </message>
    <message>
        <source>Communication timeout setting.</source>
        <comment> 通讯超时设置 </comment>
        <translation>通讯超时设置</translation>
    </message>
    <message>
        <source>Module Network Parameter Setting</source>
        <comment> 模块网络参数设置 </comment>
        <translation>模块网络参数设置</translation>
    </message>
    <message>
        <source>Network debugging.</source>
        <comment> 网络调试 </comment>
        <translation>网络调试</translation>
    </message>
    <message>
        <source>Reboot</source>
        <comment> 重启 </comment>
        <translation>重启</translation>
    </message>
    <message>
        <source>The module&apos;s light flashes when you reboot it</source>
        <comment> 重启时模块的灯会闪烁 </comment>
        <translation>重启时模块的灯会闪烁</translation>
    </message>
    <message>
        <source>Name Setting</source>
        <comment> 名称设置 </comment>
        <translation>名称设置</translation>
    </message>
    <message>
        <source>Name setting can set the name of switching value.</source>
        <comment> 名称设置可以设置开关量名称。 </comment>
        <translation>名称设置可以设置开关量名称。</translation>
    </message>
    <message>
        <source>Switch model selection</source>
        <comment> 开关量型号选择 </comment>
        <translation>开关量型号选择</translation>
    </message>
    <message>
        <source>Analog model selection</source>
        <comment> 模拟量型号选择 </comment>
        <translation>模拟量型号选择</translation>
    </message>
    <message>
        <source>help</source>
        <comment> 帮助 </comment>
        <translation>帮助</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>Close</source>
        <comment> 关闭 </comment>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Stop detecting</source>
        <comment> 停止检测 </comment>
        <translation>停止检测</translation>
    </message>
    <message>
        <source>Start detecting</source>
        <comment> 开始检测 </comment>
        <translation>开始检测</translation>
    </message>
    <message>
        <source>The Timeout Setting cannot be switched on until open the serial port.</source>
        <comment> 串口没有打开，无法打开通讯超时设置。 </comment>
        <translation>串口没有打开，无法打开通讯超时设置。</translation>
    </message>
    <message>
        <source>Analog modules have no communication timeout: their registers from 0x7530 hold the channel modes.</source>
        <comment> 模拟量模块没有通讯超时设置：0x7530起的寄存器是通道模式。 </comment>
        <translation>模拟量模块没有通讯超时设置：0x7530起的寄存器是通道模式。</translation>
    </message>
    <message>
        <source>warning</source>
        <comment>警告  </comment>
        <translation>警告</translation>
    </message>
    <message>
        <source>Output ON</source>
        <comment>闭合</comment>
        <translation>闭合</translation>
    </message>
    <message>
        <source>Output OFF</source>
        <comment>断开</comment>
        <translation>断开</translation>
    </message>
    <message>
        <source>Input ON</source>
        <comment>通</comment>
        <translation>通</translation>
    </message>
    <message>
        <source>Input OFF</source>
        <comment>断</comment>
        <translation>断</translation>
    </message>
    <message>
        <source>Module check</source>
        <comment> 模块检测 </comment>
        <translation>模块检测</translation>
    </message>
    <message>
        <source>Switch, write and read back every channel of the chosen model, then put the module back as it was.</source>
        <comment> 逐路检测所选型号的模块，结束后恢复原状态。 </comment>
        <translation>逐路检测所选型号的模块，结束后恢复原状态。</translation>
    </message>
    <message>
        <source>Find module</source>
        <comment> 查找模块 </comment>
        <translation>查找模块</translation>
    </message>
    <message>
        <source>Search the serial port or the remote address for modules.</source>
        <comment> 在串口或远程地址上查找模块 </comment>
        <translation>在串口或远程地址上查找模块</translation>
    </message>
    <message>
        <source>Tools</source>
        <comment> 工具 </comment>
        <translation>工具</translation>
    </message>
    <message>
        <source>View</source>
        <comment> 视图 </comment>
        <translation>视图</translation>
    </message>
    <message>
        <source>Restart the module %1 at %2, address %3? Its relays drop while it restarts.</source>
        <comment> 重启模块 %1（%2，地址 %3）吗？重启时其继电器会释放。 </comment>
        <translation>重启模块 %1（%2，地址 %3）吗？重启时其继电器会释放。</translation>
    </message>
    <message>
        <source>(no model chosen)</source>
        <comment> （未选择型号） </comment>
        <translation>（未选择型号）</translation>
    </message>
    <message>
        <source>Production station</source>
        <comment> 生产测试站 </comment>
        <translation>生产测试站</translation>
    </message>
    <message>
        <source>?</source>
        <translation>?</translation>
    </message>
</context>
<context>
    <name>ModbusRequest</name>
    <message>
        <source>Read coils</source>
        <comment> 读线圈 </comment>
        <translation>读线圈</translation>
    </message>
    <message>
        <source>Read discrete inputs</source>
        <comment> 读离散输入 </comment>
        <translation>读离散输入</translation>
    </message>
    <message>
        <source>Read holding registers</source>
        <comment> 读保持寄存器 </comment>
        <translation>读保持寄存器</translation>
    </message>
    <message>
        <source>Read input registers</source>
        <comment> 读输入寄存器 </comment>
        <translation>读输入寄存器</translation>
    </message>
    <message>
        <source>Write single coil</source>
        <comment> 写单个线圈 </comment>
        <translation>写单个线圈</translation>
    </message>
    <message>
        <source>Write single register</source>
        <comment> 写单个寄存器 </comment>
        <translation>写单个寄存器</translation>
    </message>
    <message>
        <source>Write multiple coils</source>
        <comment> 写多个线圈 </comment>
        <translation>写多个线圈</translation>
    </message>
    <message>
        <source>Write multiple registers</source>
        <comment> 写多个寄存器 </comment>
        <translation>写多个寄存器</translation>
    </message>
</context>
<context>
    <name>ModuleCheckFlow</name>
    <message>
        <source>warning</source>
        <comment> 警告 </comment>
        <translation>警告</translation>
    </message>
    <message>
        <source>Unable to check the module until it is connected.</source>
        <comment> 模块未连接，无法检测。 </comment>
        <translation>模块未连接，无法检测。</translation>
    </message>
    <message>
        <source>Choose the module&apos;s model first.</source>
        <comment> 请先选择模块型号。 </comment>
        <translation>请先选择模块型号。</translation>
    </message>
    <message>
        <source>The check switches every relay of %1 on and off and writes every analog output: connected loads will move. Check the module now?</source>
        <comment> 检测将逐一切换 %1 的每个继电器并写入每路模拟量输出：所接负载会动作。现在检测吗？ </comment>
        <translation>检测将逐一切换 %1 的每个继电器并写入每路模拟量输出：所接负载会动作。现在检测吗？</translation>
    </message>
    <message>
        <source>Module check</source>
        <comment> 模块检测 </comment>
        <translation>模块检测</translation>
    </message>
    <message>
        <source>Cancel</source>
        <comment> 取消 </comment>
        <translation>取消</translation>
    </message>
    <message>
        <source>Module check started: %1</source>
        <comment> 模块检测开始：%1 </comment>
        <translation>模块检测开始：%1</translation>
    </message>
    <message>
        <source>Module check: %1</source>
        <comment> 模块检测：%1 </comment>
        <translation>模块检测：%1</translation>
    </message>
</context>
<context>
    <name>ModuleCheckWindow</name>
    <message>
        <source>Module check</source>
        <comment> 模块检测 </comment>
        <translation>模块检测</translation>
    </message>
    <message>
        <source>Filter steps</source>
        <comment> 筛选步骤 </comment>
        <translation>筛选步骤</translation>
    </message>
    <message>
        <source>Result</source>
        <comment> 结果 </comment>
        <translation>结果</translation>
    </message>
    <message>
        <source>Group</source>
        <comment> 类别 </comment>
        <translation>类别</translation>
    </message>
    <message>
        <source>Step</source>
        <comment> 步骤 </comment>
        <translation>步骤</translation>
    </message>
    <message>
        <source>Expected</source>
        <comment> 期望 </comment>
        <translation>期望</translation>
    </message>
    <message>
        <source>Read</source>
        <comment> 读取 </comment>
        <translation>读取</translation>
    </message>
    <message>
        <source>Save HTML report</source>
        <comment> 保存HTML报告 </comment>
        <translation>保存HTML报告</translation>
    </message>
    <message>
        <source>Save CSV</source>
        <comment> 保存CSV </comment>
        <translation>保存CSV</translation>
    </message>
    <message>
        <source>Save report</source>
        <comment> 保存报告 </comment>
        <translation>保存报告</translation>
    </message>
    <message>
        <source>warning</source>
        <comment> 警告 </comment>
        <translation>警告</translation>
    </message>
    <message>
        <source>Could not save the report: %1</source>
        <comment> 无法保存报告：%1 </comment>
        <translation>无法保存报告：%1</translation>
    </message>
</context>
<context>
    <name>ModuleFinder</name>
    <message>
        <source>No baud rate to try</source>
        <comment> 没有可尝试的波特率 </comment>
        <translation>没有可尝试的波特率</translation>
    </message>
    <message>
        <source>Connecting to %1</source>
        <comment> 正在连接 %1 </comment>
        <translation>正在连接 %1</translation>
    </message>
    <message>
        <source>Asking the module at %1 to identify itself</source>
        <comment> 请求 %1 的模块报告身份 </comment>
        <translation>请求 %1 的模块报告身份</translation>
    </message>
    <message>
        <source>%1 baud: asking any module to identify itself</source>
        <comment> %1 波特：请求模块报告身份 </comment>
        <translation>%1 波特：请求模块报告身份</translation>
    </message>
    <message>
        <source>%1: reading address %2</source>
        <comment> %1：读取地址 %2 </comment>
        <translation>%1：读取地址 %2</translation>
    </message>
    <message>
        <source>%1 baud: reading address %2</source>
        <comment> %1 波特：读取地址 %2 </comment>
        <translation>%1 波特：读取地址 %2</translation>
    </message>
    <message>
        <source>No connection to %1</source>
        <comment> 无法连接 %1 </comment>
        <translation>无法连接 %1</translation>
    </message>
    <message>
        <source>Waiting for the line to settle</source>
        <comment> 等待线路静默 </comment>
        <translation>等待线路静默</translation>
    </message>
</context>
<context>
    <name>NameSetting</name>
    <message>
        <source>NameSetting</source>
        <translation>名称设置</translation>
    </message>
    <message>
        <source>Outputs</source>
        <translation>输出</translation>
    </message>
    <message>
        <source>Inputs</source>
        <translation>输入</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>返回</translation>
    </message>
    <message>
        <source>Name Setting</source>
        <comment> 名称设置 </comment>
        <translation>名称设置</translation>
    </message>
    <message>
        <source>Name</source>
        <comment>名称</comment>
        <translation>名称</translation>
    </message>
    <message>
        <source>Notice</source>
        <comment>通知</comment>
        <translation>通知</translation>
    </message>
    <message>
        <source>Names saved</source>
        <comment>修改名称成功</comment>
        <translation>修改名称成功</translation>
    </message>
    <message>
        <source>Names not saved</source>
        <comment>修改名称失败</comment>
        <translation>修改名称失败</translation>
    </message>
</context>
<context>
    <name>NetworkWindow</name>
    <message>
        <source>Network debugging window</source>
        <translation>网络调试窗口</translation>
    </message>
    <message>
        <source>Module IP:</source>
        <translation>模块IP：</translation>
    </message>
    <message>
        <source>000.000.000.000</source>
        <translation>000.000.000.000</translation>
    </message>
    <message>
        <source>Subnet mask:</source>
        <translation>子网掩码：</translation>
    </message>
    <message>
        <source>Gateway:</source>
        <translation>网关：</translation>
    </message>
    <message>
        <source>Module port number:</source>
        <translation>模块端口号：</translation>
    </message>
    <message>
        <source>Remote IP:</source>
        <translation>远程IP：</translation>
    </message>
    <message>
        <source>Remote port number:</source>
        <translation>远程端口号：</translation>
    </message>
    <message>
        <source>Module working mode:</source>
        <translation>模块工作模式：</translation>
    </message>
    <message>
        <source>Server</source>
        <translation>服务器</translation>
    </message>
    <message>
        <source>Client</source>
        <translation>客户端</translation>
    </message>
    <message>
        <source>UDP</source>
        <translation>UDP</translation>
    </message>
    <message>
        <source>MAC Hardware Address:</source>
        <translation>MAC硬件地址：</translation>
    </message>
    <message>
        <source>HH-HH-HH-HH-HH-HH</source>
        <translation>HH-HH-HH-HH-HH-HH</translation>
    </message>
    <message>
        <source>Gets parameters</source>
        <translation>获取参数</translation>
    </message>
    <message>
        <source>Write</source>
        <translation>写入</translation>
    </message>
    <message>
        <source>%1 is incomplete</source>
        <comment> %1 不完整 </comment>
        <translation>%1 不完整</translation>
    </message>
    <message>
        <source>%1 has an octet above 255</source>
        <comment> %1 有大于255的字节 </comment>
        <translation>%1 有大于255的字节</translation>
    </message>
    <message>
        <source>%1 is empty</source>
        <comment> %1 为空 </comment>
        <translation>%1 为空</translation>
    </message>
    <message>
        <source>%1 is above 65535</source>
        <comment> %1 大于65535 </comment>
        <translation>%1 大于65535</translation>
    </message>
    <message>
        <source>Display uppercase</source>
        <comment> 大写显示 </comment>
        <translation>大写显示</translation>
    </message>
    <message>
        <source>Display Lowercase</source>
        <comment> 小写显示 </comment>
        <translation>小写显示</translation>
    </message>
    <message>
        <source>Reboot</source>
        <comment> 重启 </comment>
        <translation>重启</translation>
    </message>
    <message>
        <source>warning</source>
        <comment> 警告 </comment>
        <translation>警告</translation>
    </message>
    <message>
        <source>Unable to get module network parameters until open the serial port.</source>
        <comment> 串口没有打开，无法获取模块网络参数。 </comment>
        <translation>串口没有打开，无法获取模块网络参数。</translation>
    </message>
    <message>
        <source>Module IP</source>
        <comment> 模块IP </comment>
        <translation>模块IP</translation>
    </message>
    <message>
        <source>Subnet mask</source>
        <comment> 子网掩码 </comment>
        <translation>子网掩码</translation>
    </message>
    <message>
        <source>Gateway</source>
        <comment> 网关 </comment>
        <translation>网关</translation>
    </message>
    <message>
        <source>Module port number</source>
        <comment> 模块端口号 </comment>
        <translation>模块端口号</translation>
    </message>
    <message>
        <source>Remote IP</source>
        <comment> 远程IP </comment>
        <translation>远程IP</translation>
    </message>
    <message>
        <source>Remote port number</source>
        <comment> 远程端口号 </comment>
        <translation>远程端口号</translation>
    </message>
    <message>
        <source>no module working mode is checked</source>
        <comment> 没有选择模块工作模式 </comment>
        <translation>没有选择模块工作模式</translation>
    </message>
    <message>
        <source>the MAC Hardware Address is missing: get the parameters first</source>
        <comment> 缺少MAC地址，请先获取参数 </comment>
        <translation>缺少MAC地址，请先获取参数</translation>
    </message>
    <message>
        <source>UUnable to write module network parameters until open the serial port.</source>
        <comment> 串口没有打开，无法写入模块网络参数。 </comment>
        <translation>串口没有打开，无法写入模块网络参数。</translation>
    </message>
    <message>
        <source>The network parameters were not written:</source>
        <comment> 网络参数没有写入： </comment>
        <translation>网络参数没有写入：</translation>
    </message>
</context>
<context>
    <name>NoModelHint</name>
    <message>
        <source>Choose the model from &apos;Switch model selection&apos; or &apos;Analog model selection&apos;</source>
        <comment> 请从“开关量型号选择”或“模拟量型号选择”中选择型号 </comment>
        <translation>请从“开关量型号选择”或“模拟量型号选择”中选择型号</translation>
    </message>
    <message>
        <source>Identify module</source>
        <comment> 识别模块 </comment>
        <translation>识别模块</translation>
    </message>
    <message>
        <source>Ask the module for its type code and choose the model it names.</source>
        <comment> 向模块查询类型码并选择对应型号。 </comment>
        <translation>向模块查询类型码并选择对应型号。</translation>
    </message>
</context>
<context>
    <name>OutputLog</name>
    <message>
        <source>Send: %1</source>
        <comment> 发送：%1 </comment>
        <translation>发送：%1</translation>
    </message>
    <message>
        <source>%1 log lines dropped: more came in than the view can take</source>
        <comment> 丢弃了 %1 行日志：来得比显示得快 </comment>
        <translation>丢弃了 %1 行日志：来得比显示得快</translation>
    </message>
    <message>
        <source>Copy</source>
        <comment> 复制 </comment>
        <translation>复制</translation>
    </message>
</context>
<context>
    <name>RemoteAddress</name>
    <message>
        <source>The remote IP is empty.</source>
        <comment> 远程IP为空。 </comment>
        <translation>远程IP为空。</translation>
    </message>
    <message>
        <source>The remote IP &quot;%1&quot; needs four numbers separated by dots.</source>
        <comment> 远程IP&quot;%1&quot;需要四个以点分隔的数字。 </comment>
        <translation>远程IP&quot;%1&quot;需要四个以点分隔的数字。</translation>
    </message>
    <message>
        <source>The remote IP &quot;%1&quot; has &quot;%2&quot;, not a number from 0 to 255.</source>
        <comment> 远程IP&quot;%1&quot;中的&quot;%2&quot;不是0到255的数字。 </comment>
        <translation>远程IP&quot;%1&quot;中的&quot;%2&quot;不是0到255的数字。</translation>
    </message>
    <message>
        <source>The remote port &quot;%1&quot; is not a number from 1 to 65535.</source>
        <comment> 远程端口&quot;%1&quot;不是1到65535的数字。 </comment>
        <translation>远程端口&quot;%1&quot;不是1到65535的数字。</translation>
    </message>
</context>
<context>
    <name>Session</name>
    <message>
        <source>Address 0 is not used: it is the broadcast address, which no module answers. Choose an address from %1 to %2.</source>
        <comment> 地址 0 不可用：它是广播地址，没有模块会回复。请选择 %1 到 %2 之间的地址。 </comment>
        <translation>地址 0 不可用：它是广播地址，没有模块会回复。请选择 %1 到 %2 之间的地址。</translation>
    </message>
    <message>
        <source>Address %1 is not used: choose an address from %2 to %3.</source>
        <comment> 地址 %1 不可用：请选择 %2 到 %3 之间的地址。 </comment>
        <translation>地址 %1 不可用：请选择 %2 到 %3 之间的地址。</translation>
    </message>
</context>
<context>
    <name>StationWindow</name>
    <message>
        <source>Production station</source>
        <comment> 生产测试站 </comment>
        <translation>生产测试站</translation>
    </message>
    <message>
        <source>Scan the serial number</source>
        <comment> 扫描序列号 </comment>
        <translation>扫描序列号</translation>
    </message>
    <message>
        <source>NO CONNECTION</source>
        <comment> 无法连接 </comment>
        <translation>无法连接</translation>
    </message>
    <message>
        <source>No connection to %1</source>
        <comment> 无法连接 %1 </comment>
        <translation>无法连接 %1</translation>
    </message>
    <message>
        <source>READY</source>
        <comment> 就绪 </comment>
        <translation>就绪</translation>
    </message>
    <message>
        <source>Station settings</source>
        <comment> 测试站设置 </comment>
        <translation>测试站设置</translation>
    </message>
    <message>
        <source>TCP</source>
        <comment> 网络 </comment>
        <translation>网络</translation>
    </message>
    <message>
        <source>Serial port</source>
        <comment> 串口 </comment>
        <translation>串口</translation>
    </message>
    <message>
        <source>From the module&apos;s identification</source>
        <comment> 按模块识别 </comment>
        <translation>按模块识别</translation>
    </message>
    <message>
        <source>Choose…</source>
        <comment> 选择… </comment>
        <translation>选择…</translation>
    </message>
    <message>
        <source>Report folder</source>
        <comment> 报告文件夹 </comment>
        <translation>报告文件夹</translation>
    </message>
    <message>
        <source>sqlite:PATH or postgresql://USER@HOST:PORT/DB</source>
        <comment> sqlite:路径 或 postgresql://用户@主机:端口/库 </comment>
        <translation>sqlite:路径 或 postgresql://用户@主机:端口/库</translation>
    </message>
    <message>
        <source>Link</source>
        <comment> 连接方式 </comment>
        <translation>连接方式</translation>
    </message>
    <message>
        <source>Remote IP</source>
        <comment> 远程IP </comment>
        <translation>远程IP</translation>
    </message>
    <message>
        <source>Remote port</source>
        <comment> 远程端口 </comment>
        <translation>远程端口</translation>
    </message>
    <message>
        <source>Baud rate</source>
        <comment> 波特率 </comment>
        <translation>波特率</translation>
    </message>
    <message>
        <source>Model</source>
        <comment> 型号 </comment>
        <translation>型号</translation>
    </message>
    <message>
        <source>Results store</source>
        <comment> 结果库 </comment>
        <translation>结果库</translation>
    </message>
    <message>
        <source>Station</source>
        <comment> 测试站 </comment>
        <translation>测试站</translation>
    </message>
    <message>
        <source>Operator</source>
        <comment> 操作员 </comment>
        <translation>操作员</translation>
    </message>
    <message>
        <source>From now on every scan checks the board on the fixture: every relay is switched, and loads connected to it will move. The check puts the outputs back afterwards.

Arm the station?</source>
        <comment> 从现在起每次扫描都会检测治具上的板卡：每个继电器都会动作，所接负载会动作。检测结束后输出会恢复。

启用测试站？ </comment>
        <translation>从现在起每次扫描都会检测治具上的板卡：每个继电器都会动作，所接负载会动作。检测结束后输出会恢复。

启用测试站？</translation>
    </message>
    <message>
        <source>TESTING</source>
        <comment> 检测中 </comment>
        <translation>检测中</translation>
    </message>
    <message>
        <source>No serial port chosen</source>
        <comment> 未选择串口 </comment>
        <translation>未选择串口</translation>
    </message>
    <message>
        <source>No module answered at %1</source>
        <comment> %1 处没有模块应答 </comment>
        <translation>%1 处没有模块应答</translation>
    </message>
    <message>
        <source>NOT IDENTIFIED</source>
        <comment> 未识别 </comment>
        <translation>未识别</translation>
    </message>
    <message>
        <source>The module did not identify itself; choose its model in the station settings.</source>
        <comment> 模块未报告身份；请在测试站设置中选择型号。 </comment>
        <translation>模块未报告身份；请在测试站设置中选择型号。</translation>
    </message>
    <message>
        <source>Type code %1 is not in the catalogue; choose the model in the station settings.</source>
        <comment> 类型码 %1 不在型号表中；请在测试站设置中选择型号。 </comment>
        <translation>类型码 %1 不在型号表中；请在测试站设置中选择型号。</translation>
    </message>
    <message>
        <source>WRONG MODEL</source>
        <comment> 型号不符 </comment>
        <translation>型号不符</translation>
    </message>
    <message>
        <source>The module identifies itself as %1, not %2.</source>
        <comment> 模块报告为 %1，而不是 %2。 </comment>
        <translation>模块报告为 %1，而不是 %2。</translation>
    </message>
    <message>
        <source>%1 — step %2 of %3</source>
        <comment> %1 — 第 %2 步，共 %3 步 </comment>
        <translation>%1 — 第 %2 步，共 %3 步</translation>
    </message>
    <message>
        <source>expected</source>
        <comment> 应为 </comment>
        <translation>应为</translation>
    </message>
    <message>
        <source>read</source>
        <comment> 读到 </comment>
        <translation>读到</translation>
    </message>
    <message>
        <source>The report folder %1 cannot be made</source>
        <comment> 无法创建报告文件夹 %1 </comment>
        <translation>无法创建报告文件夹 %1</translation>
    </message>
    <message>
        <source>Report %1 not written: %2</source>
        <comment> 报告 %1 未写入：%2 </comment>
        <translation>报告 %1 未写入：%2</translation>
    </message>
    <message>
        <source>The run was not recorded: %1</source>
        <comment> 本次检测未记录：%1 </comment>
        <translation>本次检测未记录：%1</translation>
    </message>
    <message>
        <source>FAIL</source>
        <comment> 不合格 </comment>
        <translation>不合格</translation>
    </message>
    <message>
        <source>NOT RECORDED</source>
        <comment> 未记录 </comment>
        <translation>未记录</translation>
    </message>
    <message>
        <source>PASS</source>
        <comment> 合格 </comment>
        <translation>合格</translation>
    </message>
    <message>
        <source>Tested %1</source>
        <comment> 已测 %1 </comment>
        <translation>已测 %1</translation>
    </message>
    <message>
        <source>Passed %1</source>
        <comment> 合格 %1 </comment>
        <translation>合格 %1</translation>
    </message>
    <message>
        <source>Failed %1</source>
        <comment> 不合格 %1 </comment>
        <translation>不合格 %1</translation>
    </message>
    <message>
        <source>First-pass yield %1 %</source>
        <comment> 一次通过率 %1 % </comment>
        <translation>一次通过率 %1 %</translation>
    </message>
    <message>
        <source>queued: %1 waiting</source>
        <comment> 排队：%1 条待送 </comment>
        <translation>排队：%1 条待送</translation>
    </message>
</context>
<context>
    <name>SwitchInputsPanel</name>
    <message>
        <source>Start detecting</source>
        <comment> 开始检测 </comment>
        <translation>开始检测</translation>
    </message>
    <message>
        <source>Stop detecting</source>
        <comment> 停止检测 </comment>
        <translation>停止检测</translation>
    </message>
</context>
<context>
    <name>TerminalPanel</name>
    <message>
        <source>Show polling</source>
        <comment> 显示轮询 </comment>
        <translation>显示轮询</translation>
    </message>
    <message>
        <source>Pause</source>
        <comment> 暂停 </comment>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Save log…</source>
        <comment> 保存日志… </comment>
        <translation>保存日志…</translation>
    </message>
    <message>
        <source>Not sent: only hex digits and blanks can be sent</source>
        <comment> 未发送：只能发送十六进制数字和空格 </comment>
        <translation>未发送：只能发送十六进制数字和空格</translation>
    </message>
    <message>
        <source>Not sent: an odd number of hex digits (%1)</source>
        <comment> 未发送：十六进制数字个数为奇数（%1） </comment>
        <translation>未发送：十六进制数字个数为奇数（%1）</translation>
    </message>
    <message>
        <source>Not sent: a frame holds at most %1 bytes before its CRC</source>
        <comment> 未发送：一帧在校验码之前最多 %1 字节 </comment>
        <translation>未发送：一帧在校验码之前最多 %1 字节</translation>
    </message>
    <message>
        <source>Not sent: a frame starts with an address and a function code</source>
        <comment> 未发送：一帧以地址和功能码开头 </comment>
        <translation>未发送：一帧以地址和功能码开头</translation>
    </message>
    <message>
        <source>Not sent: address %1 is not the device address %2</source>
        <comment> 未发送：地址 %1 不是设备地址 %2 </comment>
        <translation>未发送：地址 %1 不是设备地址 %2</translation>
    </message>
    <message>
        <source>Not sent: function code %1 is not supported (%2)</source>
        <comment> 未发送：不支持功能码 %1（%2） </comment>
        <translation>未发送：不支持功能码 %1（%2）</translation>
    </message>
    <message>
        <source>Save log</source>
        <comment> 保存日志 </comment>
        <translation>保存日志</translation>
    </message>
    <message>
        <source>Text files (*.txt)</source>
        <comment> 文本文件 (*.txt) </comment>
        <translation>文本文件 (*.txt)</translation>
    </message>
    <message>
        <source>Log saved to %1</source>
        <comment> 日志已保存到 %1 </comment>
        <translation>日志已保存到 %1</translation>
    </message>
    <message>
        <source>Log not saved to %1: %2</source>
        <comment> 日志未保存到 %1：%2 </comment>
        <translation>日志未保存到 %1：%2</translation>
    </message>
</context>
<context>
    <name>ThreadAdministrator</name>
    <message>
        <source>Communication timeout set successfully</source>
        <comment> 通讯超时设置成功 </comment>
        <translation>通讯超时设置成功</translation>
    </message>
    <message>
        <source>Network parameter was written successfully</source>
        <comment> 成功写入网络参数 </comment>
        <translation>成功写入网络参数</translation>
    </message>
    <message>
        <source>Not sent: no connection (%1)</source>
        <comment> 未发送：没有连接（%1） </comment>
        <translation>未发送：没有连接（%1）</translation>
    </message>
    <message>
        <source>No reply within %1 ms</source>
        <comment> %1 毫秒内无回复 </comment>
        <translation>%1 毫秒内无回复</translation>
    </message>
</context>
<context>
    <name>ThreadSerialport</name>
    <message>
        <source>Network: %1</source>
        <comment> 网络：%1 </comment>
        <translation>网络：%1</translation>
    </message>
    <message>
        <source>Not sent: no connection</source>
        <comment> 未发送：没有连接 </comment>
        <translation>未发送：没有连接</translation>
    </message>
    <message>
        <source>Exception reply: function %1, exception %2 (%3)</source>
        <comment> 异常应答：功能码 %1，异常码 %2（%3） </comment>
        <translation>异常应答：功能码 %1，异常码 %2（%3）</translation>
    </message>
    <message>
        <source>Device type</source>
        <comment> 设备类型 </comment>
        <translation>设备类型</translation>
    </message>
    <message>
        <source>Device address</source>
        <comment> 设备地址 </comment>
        <translation>设备地址</translation>
    </message>
    <message>
        <source>Network data out of step, dropped</source>
        <comment> 网络数据错位，已丢弃 </comment>
        <translation>网络数据错位，已丢弃</translation>
    </message>
    <message>
        <source>%1 frames from the module not shown: more came than were asked for</source>
        <comment> 未显示模块的 %1 帧：收到的多于请求的 </comment>
        <translation>未显示模块的 %1 帧：收到的多于请求的</translation>
    </message>
    <message>
        <source>No serial port %1</source>
        <comment> 没有串口 %1 </comment>
        <translation>没有串口 %1</translation>
    </message>
    <message>
        <source>Network closed while the serial port is open</source>
        <comment> 串口打开期间网络已关闭 </comment>
        <translation>串口打开期间网络已关闭</translation>
    </message>
</context>
<context>
    <name>TrafficModel</name>
    <message>
        <source>Waiting</source>
        <comment> 等待中 </comment>
        <translation>等待中</translation>
    </message>
    <message>
        <source>OK</source>
        <comment> 成功 </comment>
        <translation>成功</translation>
    </message>
    <message>
        <source>Exception %1: %2</source>
        <comment> 异常 %1：%2 </comment>
        <translation>异常 %1：%2</translation>
    </message>
    <message>
        <source>Time-out</source>
        <comment> 超时 </comment>
        <translation>超时</translation>
    </message>
    <message>
        <source>Not sent</source>
        <comment> 未发送 </comment>
        <translation>未发送</translation>
    </message>
    <message>
        <source>Bad CRC</source>
        <comment> CRC 错误 </comment>
        <translation>CRC 错误</translation>
    </message>
    <message>
        <source>Unmatched</source>
        <comment> 无对应请求 </comment>
        <translation>无对应请求</translation>
    </message>
    <message>
        <source>Link</source>
        <comment> 链路 </comment>
        <translation>链路</translation>
    </message>
    <message>
        <source>Serial</source>
        <comment> 串口 </comment>
        <translation>串口</translation>
    </message>
    <message>
        <source>Time</source>
        <comment> 时间 </comment>
        <translation>时间</translation>
    </message>
    <message>
        <source>Unit</source>
        <comment> 站号 </comment>
        <translation>站号</translation>
    </message>
    <message>
        <source>Function</source>
        <comment> 功能码 </comment>
        <translation>功能码</translation>
    </message>
    <message>
        <source>Address</source>
        <comment> 地址 </comment>
        <translation>地址</translation>
    </message>
    <message>
        <source>Quantity</source>
        <comment> 数量 </comment>
        <translation>数量</translation>
    </message>
    <message>
        <source>Data</source>
        <comment> 数据 </comment>
        <translation>数据</translation>
    </message>
    <message>
        <source>Result</source>
        <comment> 结果 </comment>
        <translation>结果</translation>
    </message>
    <message>
        <source>Response (ms)</source>
        <comment> 响应（毫秒） </comment>
        <translation>响应（毫秒）</translation>
    </message>
</context>
<context>
    <name>TrafficView</name>
    <message>
        <source>Traffic</source>
        <comment> 通信记录 </comment>
        <translation>通信记录</translation>
    </message>
    <message>
        <source>All functions</source>
        <comment> 全部功能码 </comment>
        <translation>全部功能码</translation>
    </message>
    <message>
        <source>All results</source>
        <comment> 全部结果 </comment>
        <translation>全部结果</translation>
    </message>
    <message>
        <source>OK</source>
        <comment> 成功 </comment>
        <translation>成功</translation>
    </message>
    <message>
        <source>Failed</source>
        <comment> 失败 </comment>
        <translation>失败</translation>
    </message>
    <message>
        <source>Exception</source>
        <comment> 异常 </comment>
        <translation>异常</translation>
    </message>
    <message>
        <source>Time-out</source>
        <comment> 超时 </comment>
        <translation>超时</translation>
    </message>
    <message>
        <source>Bad CRC</source>
        <comment> CRC 错误 </comment>
        <translation>CRC 错误</translation>
    </message>
    <message>
        <source>Unmatched</source>
        <comment> 无对应请求 </comment>
        <translation>无对应请求</translation>
    </message>
    <message>
        <source>Link events</source>
        <comment> 链路事件 </comment>
        <translation>链路事件</translation>
    </message>
    <message>
        <source>Text in any column</source>
        <comment> 任一列中的文字 </comment>
        <translation>任一列中的文字</translation>
    </message>
    <message>
        <source>Hide polling</source>
        <comment> 隐藏轮询 </comment>
        <translation>隐藏轮询</translation>
    </message>
    <message>
        <source>Pause</source>
        <comment> 暂停 </comment>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Follow</source>
        <comment> 跟随 </comment>
        <translation>跟随</translation>
    </message>
    <message>
        <source>Export CSV…</source>
        <comment> 导出 CSV… </comment>
        <translation>导出 CSV…</translation>
    </message>
    <message>
        <source>Clear</source>
        <comment> 清除 </comment>
        <translation>清除</translation>
    </message>
    <message>
        <source>Input changes</source>
        <comment> 输入变化 </comment>
        <translation>输入变化</translation>
    </message>
    <message>
        <source>Export traffic</source>
        <comment> 导出通信记录 </comment>
        <translation>导出通信记录</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <comment> CSV 文件 (*.csv) </comment>
        <translation>CSV 文件 (*.csv)</translation>
    </message>
    <message>
        <source>The rows could not be saved: %1</source>
        <comment> 记录无法保存：%1 </comment>
        <translation>记录无法保存：%1</translation>
    </message>
    <message>
        <source>Export input changes</source>
        <comment> 导出输入变化 </comment>
        <translation>导出输入变化</translation>
    </message>
</context>
<context>
    <name>TrafficViews</name>
    <message>
        <source>Recording stopped: %1</source>
        <comment> 记录已停止：%1 </comment>
        <translation>记录已停止：%1</translation>
    </message>
    <message>
        <source>Traffic</source>
        <comment> 通信记录 </comment>
        <translation>通信记录</translation>
    </message>
    <message>
        <source>Trend</source>
        <comment> 趋势 </comment>
        <translation>趋势</translation>
    </message>
    <message>
        <source>Record to file…</source>
        <comment> 记录到文件… </comment>
        <translation>记录到文件…</translation>
    </message>
    <message>
        <source>Model: %1</source>
        <comment> 型号：%1 </comment>
        <translation>型号：%1</translation>
    </message>
    <message>
        <source>Record polled values</source>
        <comment> 记录轮询数值 </comment>
        <translation>记录轮询数值</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <comment> CSV 文件 (*.csv) </comment>
        <translation>CSV 文件 (*.csv)</translation>
    </message>
    <message>
        <source>Cannot record to %1: %2</source>
        <comment> 无法记录到 %1：%2 </comment>
        <translation>无法记录到 %1：%2</translation>
    </message>
    <message>
        <source>Stop recording (%1)</source>
        <comment> 停止记录（%1） </comment>
        <translation>停止记录（%1）</translation>
    </message>
    <message>
        <source>Serial port open</source>
        <comment> 串口已打开 </comment>
        <translation>串口已打开</translation>
    </message>
    <message>
        <source>Reconnected (TCP)</source>
        <comment> 已重新连接（TCP） </comment>
        <translation>已重新连接（TCP）</translation>
    </message>
    <message>
        <source>Connected (TCP)</source>
        <comment> 已连接（TCP） </comment>
        <translation>已连接（TCP）</translation>
    </message>
    <message>
        <source>Connection lost; reconnecting</source>
        <comment> 连接断开，正在重新连接 </comment>
        <translation>连接断开，正在重新连接</translation>
    </message>
    <message>
        <source>Link closed</source>
        <comment> 链路已关闭 </comment>
        <translation>链路已关闭</translation>
    </message>
    <message>
        <source>Serial port failed: %1</source>
        <comment> 串口失败：%1 </comment>
        <translation>串口失败：%1</translation>
    </message>
</context>
<context>
    <name>TrendView</name>
    <message>
        <source>Trend</source>
        <comment> 趋势 </comment>
        <translation>趋势</translation>
    </message>
    <message>
        <source>Time</source>
        <comment> 时间 </comment>
        <translation>时间</translation>
    </message>
    <message>
        <source>Value (V, mA, on = 1)</source>
        <comment> 数值（V、mA，通 = 1） </comment>
        <translation>数值（V、mA，通 = 1）</translation>
    </message>
    <message>
        <source>Response (ms)</source>
        <comment> 响应（毫秒） </comment>
        <translation>响应（毫秒）</translation>
    </message>
    <message>
        <source>%1 min</source>
        <comment> %1 分钟 </comment>
        <translation>%1 分钟</translation>
    </message>
    <message>
        <source>1 h</source>
        <comment> 1 小时 </comment>
        <translation>1 小时</translation>
    </message>
    <message>
        <source>Pause</source>
        <comment> 暂停 </comment>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Follow</source>
        <comment> 跟随 </comment>
        <translation>跟随</translation>
    </message>
    <message>
        <source>Undo zoom and pan and follow the newest values</source>
        <comment> 取消缩放和平移，跟随最新数值 </comment>
        <translation>取消缩放和平移，跟随最新数值</translation>
    </message>
    <message>
        <source>Export CSV…</source>
        <comment> 导出 CSV… </comment>
        <translation>导出 CSV…</translation>
    </message>
    <message>
        <source>Export PNG…</source>
        <comment> 导出 PNG… </comment>
        <translation>导出 PNG…</translation>
    </message>
    <message>
        <source>Window</source>
        <comment> 时间窗 </comment>
        <translation>时间窗</translation>
    </message>
    <message>
        <source>Channels</source>
        <comment> 通道 </comment>
        <translation>通道</translation>
    </message>
    <message>
        <source>Export trend samples</source>
        <comment> 导出趋势数据 </comment>
        <translation>导出趋势数据</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <comment> CSV 文件 (*.csv) </comment>
        <translation>CSV 文件 (*.csv)</translation>
    </message>
    <message>
        <source>The samples could not be saved: %1</source>
        <comment> 数据无法保存：%1 </comment>
        <translation>数据无法保存：%1</translation>
    </message>
    <message>
        <source>Export trend picture</source>
        <comment> 导出趋势图 </comment>
        <translation>导出趋势图</translation>
    </message>
    <message>
        <source>PNG pictures (*.png)</source>
        <comment> PNG 图片 (*.png) </comment>
        <translation>PNG 图片 (*.png)</translation>
    </message>
    <message>
        <source>The picture could not be saved to %1</source>
        <comment> 图片无法保存到 %1 </comment>
        <translation>图片无法保存到 %1</translation>
    </message>
</context>
</TS>
