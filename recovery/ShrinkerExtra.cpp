// Pass 3 of the shrinker: the cutting tool rewrites the pass-2 output, which is kept when the
// tool's result is usable.
#include "recovery/Shrinker.h"

namespace mendery {

void TShrinker::ExtraCompress() {
    // The cutting tool and the process runner that starts it are not part of this build yet, so
    // the stage cannot run; the pass-2 result is complete and stays as it is.
    //
    // The stage, once they exist:
    //   Log("正在开始附加压缩..."); SetRatio("");
    //   run ToolDirectory + "clipwright" with the parameter text
    //     -i "OutFileName" -o "OutFileName.tmp" -y        (temp name: ToolOutputName(OutFileName, OutputFor::ShrinkTemp))
    //   waiting in 100 ms steps while Pump() runs;
    //   if FileSizeOf(tmp) <= 10000 (or the tool could not start): delete tmp,
    //     Log("-->错误: 不能进行附加压缩."), keep the pass-2 file;
    //   else TransplantCodecList(OutFileName -> tmp), delete OutFileName, rename tmp to OutFileName,
    //     Log("  附加压缩已结束."); summary_.extraRan = true.
    Log("-->附加压缩不可用: 剪切工具 clipwright 尚未接入. 保留步骤 2 的结果.");
}

}  // namespace mendery
