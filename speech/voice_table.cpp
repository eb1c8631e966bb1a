#include "speech/voice_table.h"

namespace tesvano {

// Some voice names start with a blank and one Chinese name ends with one:
// the engine receives them exactly so.
const std::array<VoiceEntry, kVoiceCount> kVoiceTable = {{
    {"小宇 青年男声 中英文（普通话）", "xiaoyu (young male) mandarin", "xiaoyu"},
    {"小燕 青年女声 中英文（普通话）", "xiaoyan (young female) mandarin", "xiaoyan"},
    {"小研 青年女声 中英文（普通话）", "vixy (young female) mandarin", "vixy"},
    {"小琪 青年女声 中英文（普通话）", "xiaoqi (young female) mandarin", "xiaoqi"},
    {"小峰 青年男声 中英文（普通话）", "vixf (young male) mandarin", "vixf"},
    {"小梅 青年女声 中英文（粤语）", "xiaomei (young female)", "xiaomei"},
    {"小莉 青年女声 中英文（台湾普通话）", "vixl xiaolin (young female) Taiwan mandarin", "vixl xiaolin"},
    {"小蓉 青年女声 汉语（四川话）", "xiaorong (young female) Sichuan", " xiaorong"},
    {"小芸 青年女声 汉语（东北话）", "vixyun (young female) Dongbei", " vixyun"},
    {"小坤 青年男声 汉语（河南话）", "xiaokun (young male) Henan", " xiaokun"},
    {"小强 青年男声 汉语（湖南话） ", "xiaoqiang (young male) Hunan", "xiaoqiang"},
    {"小莹 青年女声 汉语（陕西话）", "vixying (young female) Shanxi", " vixying"},
    {"小新 童年男声 汉语（普通话）", "xiaoxin (child male) mandarin", " xiaoxin"},
    {"楠楠 童年女声 汉语（普通话）", "nannan (child female) mandarin", " nannan"},
    {"凯瑟琳 青年女声 英文", "catherine (young female)", "catherine"},
    {"亨利 青年男声 英文", "henry (young male)", "henry"},
    {"玛丽 青年女声 英文", "vimary (young female)", "vimary"},
}};

}  // namespace tesvano
