#include "support.h"

#include "collection.h"
#include "collection_p.h"
#include "day_files.h"
#include "day_files_p.h"
#include "services.h"

#include <QFile>
#include <QStringList>

#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace bench {

namespace {

Day theDay;

const QStringList FamilyNames = QStringLiteral(
    "佐藤 鈴木 高橋 田中 伊藤 渡辺 山本 中村 小林 加藤 吉田 山田 佐々木 山口 松本 "
    "井上 木村 林 清水 山崎 森 池田 橋本 阿部 石川 山下 中島 石井 小川 前田")
                                    .split(u' ');
const QStringList GivenNames = QStringLiteral(
    "花子 一郎 健太 美咲 翔 大輔 さくら 拓海 結衣 蓮 葵 悠斗 凛 颯太 芽依 湊 彩 "
    "大和 七海 陸 結菜 樹 莉子 航 美月 奏太 心春 蒼 陽向 柚希")
                                   .split(u' ');
const QStringList Reasons = QStringLiteral(
    "発熱のため欠席 風邪のため欠席 腹痛のため欠席 頭痛のため遅刻 通院のため遅刻 "
    "嘔吐のため欠席 家事都合のため欠席 法事のため欠席 寝坊のため遅刻 "
    "インフルエンザのため出席停止 歯科受診のため遅刻 家事都合のため早退")
                                .split(u' ');
const QStringList Callers = QStringLiteral("母 父 祖母 姉 兄 本人").split(u' ');

// Where each file's lines come from: telephones ("*") and contact books ("#")
// write the hour by hand, one digit before ten; the web form ("@") two.
char MarkOfFile(int digit)
{
    switch (digit) {
    case 2: case 6: return '@';
    case 4: case 8: return '#';
    default: return '*';
    }
}

QByteArray MakeLine(std::mt19937 &rng, char mark, int second)
{
    const auto pick = [&rng](const QStringList &list) { return list[int(rng() % list.size())]; };
    const int h = second / 3600, m = second / 60 % 60, s = second % 60;
    QByteArray line(1, mark);
    line += QByteArray::number(h).rightJustified(mark == '@' ? 2 : 1, '0') + ':'
        + QByteArray::number(m).rightJustified(2, '0') + ':'
        + QByteArray::number(s).rightJustified(2, '0') + ' ';
    QByteArray cls = QByteArray::number(1 + rng() % 3) + '-' + QByteArray::number(1 + rng() % 4);
    switch (rng() % 20) { // now and then a blank beside the class
    case 0: cls.prepend(' '); break;
    case 1: cls.append(' '); break;
    }
    const QString details = QStringLiteral("=%1番 %2 %3 %4（%5より）")
                                .arg(1 + rng() % 35)
                                .arg(pick(FamilyNames), pick(GivenNames), pick(Reasons),
                                     pick(Callers));
    return line + cls + absence::ToCp932(details);
}

} // namespace

Day MakeDay(const QString &dir, const QDate &date, int files, int linesPerFile)
{
    Day day;
    day.date = date;
    day.dir = dir;
    absence::ChosenDate = date;
    std::mt19937 rng(20261208);
    for (int digit = 0; digit < files; ++digit) {
        QByteArray bytes;
        int second = 6 * 3600 + 30 * 60; // the first calls come at half past six
        for (int i = 0; i < linesPerFile; ++i) {
            second += int(rng() % 5); // zero now and then: many equal times
            const QByteArray line = MakeLine(rng, MarkOfFile(digit), second);
            bytes += line + "\r\n";
            day.lines.append(absence::NormaliseHour(line));
        }
        QFile file(dir + u'/' + absence::DataFileName(date, digit));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        day.dataBytes += bytes.size();
    }
    return day;
}

const Day &TheDay()
{
    return theDay;
}

void SetDay(Day day)
{
    theDay = std::move(day);
}

QList<QByteArray> Sample(int n)
{
    QList<QByteArray> lines = theDay.lines;
    std::shuffle(lines.begin(), lines.end(), std::mt19937(uint32_t(n)));
    lines.resize(std::min<qsizetype>(n, lines.size()));
    return lines;
}

bool RunChild(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv)
{
    std::vector<std::string> env = extraEnv; // getenv takes the first match
    for (char **e = environ; *e; ++e)
        env.emplace_back(*e);
    std::vector<char *> args, envp;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)
        && WEXITSTATUS(status) == 0;
}

long PeakRssKb(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv)
{
    const std::string out = (theDay.dir + QStringLiteral("/peak-rss.txt")).toStdString();
    std::vector<std::string> launch{ABSENCE_PEAK_RSS_PATH, out};
    launch.insert(launch.end(), argv.begin(), argv.end());
    if (!RunChild(launch, extraEnv))
        return -1;
    QFile file(QString::fromStdString(out));
    bool ok = file.open(QIODevice::ReadOnly);
    const long kb = file.readAll().trimmed().toLong(&ok);
    return ok ? kb : -1;
}

} // namespace bench
