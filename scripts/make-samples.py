#!/usr/bin/env python3
"""Writes the sample day under samples/: the absence data files of 2026-12-08.

Each data file is what one notification point of the school office wrote that
morning (the telephone in the staff room, the office telephone, the web form,
the contact books...). A line is one notification:

    mark byte, time HH:MM:SS (written by hand with a one-digit hour as H:MM:SS;
    the web form writes two digits), one blank,
    class field (grade-class, possibly with blanks), "=", the details.

The files are code page 932 with CR LF line ends. File A3 ends with a Ctrl-Z
after which stale bytes follow (the collection never reads them); file A4
holds one empty line. Run from anywhere: python3 scripts/make-samples.py
"""

import os

DAY = "2026-12-08"
HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(os.path.dirname(HERE), "samples")

# Mark bytes: "*" telephone, "#" contact book, "@" web form.
FILES = {
    # Staff-room telephone, the earliest calls.
    0: [
        "*7:02:15 2-3=12番 佐藤 花子 発熱のため欠席（母より）",
        "*7:05:40 1-1=3番 鈴木 一郎 通院のため遅刻 10時頃登校（母より）",
        "*7:11:03 3-2=21番 高橋 健太 腹痛のため欠席（父より）",
        "*7:18:27 1-4=8番 田中 美咲 風邪のため欠席（母より）",
        "*7:25:00 2-1=30番 伊藤 翔 インフルエンザのため出席停止（母より）",
        "*7:25:00 2-1=31番 伊藤 陽菜 兄の看病のため欠席（母より）",
        "*7:33:51 3-4=5番 渡辺 大輔 通院のため遅刻（祖母より）",
        "*7:41:09 1-2=17番 山本 さくら 頭痛のため欠席（母より）",
    ],
    # Office telephone.
    1: [
        "*7:08:44 3-1=2番 中村 拓海 発熱のため欠席（母より）",
        "*7:15:30 1-3=25番 小林 結衣 家事都合のため欠席（父より）",
        "*7:29:12 2-2=9番 加藤 蓮 通院のため遅刻 2時間目から（母より）",
        "*7:45:10 3-3=14番 吉田 葵 嘔吐のため欠席（母より）",
        "*7:52:38 1-1=20番 山田 悠斗 寝坊のため遅刻（本人より）",
        "*8:03:05 2-4=11番 佐々木 凛 法事のため欠席（母より）",
        "*8:10:00 3-1=27番 山口 颯太 発熱のため欠席（父より）",
        "*8:10:00 1-2=6番 松本 芽依 通院のため遅刻（母より）",
    ],
    # Web form.
    2: [
        "@06:52:03 2-3=18番 井上 湊 発熱のため欠席（母より）",
        "@07:21:47 1-4=29番 木村 彩 歯科受診のため遅刻（母より）",
        "@07:38:20 3-2=4番 林 大和 腹痛のため欠席（母より）",
        "@07:49:56 2-1=13番 清水 七海 風邪のため欠席（父より）",
        "@08:01:31 1-3=22番 山崎 陸 通院のため遅刻（母より）",
        "@08:15:08 3-4=16番 森 結菜 頭痛のため欠席（母より）",
        "@08:22:44 2-2=1番 池田 樹 家事都合のため早退 12時（父より）",
    ],
    # Second staff-room telephone; the Ctrl-Z ends what the collection reads.
    3: [
        "*7:12:58 1-1=24番 橋本 莉子 発熱のため欠席（母より）",
        "*7:36:14 3-3=7番 阿部 航 通院のため遅刻（母より）",
        "*7:58:02 2-4=19番 石川 美月 腹痛のため欠席（祖母より）",
        "*8:10:00 2-3=28番 山下 奏太 寝坊のため遅刻（母より）",
        "*8:26:39 1-2=10番 中島 心春 風邪のため欠席（母より）",
        "*8:33:21 3-1=15番 石井 蒼 通院のため遅刻（父より）",
    ],
    # Contact books brought by brothers and sisters; one empty line.
    4: [
        "#7:50:00 1-3=2番 小川 陽向 発熱のため欠席（姉より）",
        "#7:50:00  2-2=26番 前田 柚希 通院のため遅刻（兄より）",
        "",
        "#7:55:25 3-4 =23番 岡田 悠真 腹痛のため欠席（弟より）",
        "#8:05:12 1-4=12番 長谷川 杏 風邪のため欠席（姉より）",
        "#8:18:47 3-2=19番 藤田 湊斗 家事都合のため欠席（妹より）",
    ],
    # Office telephone, late morning.
    5: [
        "*8:12:33 1-1=9番 後藤 咲良 通院のため遅刻 3時間目から（母より）",
        "*8:20:05 3-3=30番 近藤 大翔 発熱のため欠席（母より）",
        "*8:29:50 2-1=5番 村上 澪 頭痛のため遅刻（母より）",
        "*8:35:17 1-3=14番 遠藤 律 嘔吐のため欠席（父より）",
        "*8:41:02 2-4=3番 青木 ひまり 風邪のため欠席（母より）",
        "*8:44:26 3-1=8番 坂本 朝陽 通院のため遅刻（母より）",
    ],
    # Web form, late entries.
    7: [
        "@08:30:00 1-2=28番 斎藤 紬 発熱のため欠席（母より）",
        "@08:38:41 2-3=6番 福田 樹里 通院のため遅刻（父より）",
        "@08:47:13 3-2=11番 太田 隼 腹痛のため欠席（母より）",
        "@09:05:00 1-4=21番 西村 琴音 家事都合のため遅刻（母より）",
    ],
}

# Bytes after the Ctrl-Z of file A3: an older, half-overwritten line.
STALE_AFTER_CTRL_Z = "*6:40:00 9-9=この行は読まれません\r\n"


def main():
    os.makedirs(OUT, exist_ok=True)
    for digit, lines in FILES.items():
        data = b"".join(line.encode("cp932") + b"\r\n" for line in lines)
        if digit == 3:
            data += b"\x1a" + STALE_AFTER_CTRL_Z.encode("cp932")
        path = os.path.join(OUT, f"{DAY}A{digit}.TXT")
        with open(path, "wb") as f:
            f.write(data)
    total = sum(1 for lines in FILES.values() for line in lines if line)
    print(f"wrote {len(FILES)} data files, {total} notification lines, to {OUT}")


if __name__ == "__main__":
    main()
