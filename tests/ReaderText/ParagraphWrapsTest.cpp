#include "ReaderText/MarkdownReader.h"
#include "ReaderText/internal/ParagraphWraps.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using internal::displayColumns;

bool isWide(QChar c) {
    return displayColumns(QStringView(&c, 1)) == 2;
}

// What a mail program, a PDF viewer or a terminal makes of a paragraph: greedy lines of at most `columns`,
// broken between two wide characters or at a space (which goes), never inside a word nor before a closing
// mark.
QString wrapped(const QString& paragraph, qsizetype columns) {
    QStringList lines;
    QString line;
    qsizetype width = 0;
    for (qsizetype at = 0; at < paragraph.size();) {
        const bool spaced = paragraph[at] == u' ';
        if (spaced) ++at;
        qsizetype end = at + 1;
        if (!isWide(paragraph[at])) {
            while (end < paragraph.size() && paragraph[end] != u' ' && !isWide(paragraph[end])) ++end;
        }
        const QStringView word = QStringView(paragraph).sliced(at, end - at);
        const qsizetype needed = displayColumns(word) + (spaced && !line.isEmpty() ? 1 : 0);
        if (!line.isEmpty() && width + needed > columns) {
            // No line starts with a closing mark: the character before it moves down with it.
            static constexpr QStringView kNeverFirst = u"、。」』）";
            const bool carry = kNeverFirst.contains(word.front()) && isWide(line.back());
            lines.append(carry ? line.chopped(1) : line);
            line = carry ? line.right(1) : QString();
        }
        if (spaced && !line.isEmpty()) line += u' ';
        line += word;
        width = displayColumns(line);
        at = end;
    }
    lines.append(line);
    return lines.join(u'\n');
}

QString wrappedEach(const QStringList& paragraphs, qsizetype columns) {
    QStringList lines;
    for (const QString& paragraph : paragraphs) lines.append(wrapped(paragraph, columns));
    return lines.join(u'\n');
}

const QString kSoseki =
    u"山路を登りながら、こう考えた。智に働けば角が立つ。情に棹させば流される。意地を通せば窮屈だ。とかくに人の世は"
    u"住みにくい。住みにくさが高じると、安い所へ引き越したくなる。どこへ越しても住みにくいと悟った時、詩が生れて、"
    u"画が出来る。"_s;
const QString kMail =
    u"先日はお忙しいところ打ち合わせのお時間をいただき、誠にありがとうございました。いただいたご意見をもとに"
    u"資料を修正いたしましたので、添付にてお送りいたします。お手数ですが、ご確認のほど、よろしくお願い申し上げます。"_s;
const QString kEnglish =
    u"The reader shows a text one short phrase at a time, centred and timed, so that the eye rests while the "
    u"words come to it, one after the other. A paragraph that a mail program wrapped at a fixed width reads as the "
    u"paragraph its "
    u"writer wrote, and every line that its source shows as a line stays one."_s;

const QStringList kNovel = {
    u"　山路を登りながら、こう考えた。智に働けば角が立つ。情に棹させば流される。意地を通せば窮屈だ。"_s,
    u"「どこへ越しても住みにくいと悟った時、詩が生れて、画が出来るのだよ」"_s,
    u"「そんなものですか」"_s,
    u"「それで、君はどこへ行くつもりなのかね」と彼は少し考えてから、思わず「いや、まだ何も決めていないのだ」と"
    u"答えた。"_s,
};

const QString kMixed =
    u"新しいバージョン2.4では、Markdownの表とEPUB 3の縦書きに対応し、読み込みの速さが約1.5倍になりました。"
    u"設定画面の「取り込みと連携」から、Chromiumのページを読む許可をいつでも変更できます。詳しくはREADMEの"
    u"「使い方」をご覧ください。"_s;

// A Japanese mail: a greeting, a wrapped paragraph, a closing and a signature.
QString mailWrappedAt(qsizetype characters) {
    return u"山田様\n\nお世話になっております。\n\n"_s + wrapped(kMail, characters * 2) +
           u"\n\n以上、よろしくお願いいたします。\n\n佐藤花子"_s;
}
QString mailRead() {
    return u"山田様\nお世話になっております。\n"_s + kMail + u"\n以上、よろしくお願いいたします。\n佐藤花子"_s;
}

// Rows of about one width, as data often has.
const QString kAccounts =
    u"date,amount,account,note\n2024-01-05,12000,office supplies,paper and toner for the printer\n"
    u"2024-01-12,8500,travel expenses,train tickets to the Osaka office\n"
    u"2024-01-19,23000,entertainment,dinner with the client from Kyoto\n"
    u"2024-01-26,4300,office supplies,ink cartridges and binder clips"_s;
const QString kJapaneseAccounts =
    u"日付,金額,勘定科目,摘要\n2024-01-05,12000,消耗品費,プリンターの用紙とトナー\n"
    u"2024-01-12,18500,旅費交通,大阪支店への新幹線の切符\n2024-01-19,23000,会議費用,京都の取引先との会食代金\n"
    u"2024-01-26,14300,消耗品費,インクと事務用クリップ類"_s;
const QString kListing =
    u"total 24\n-rw-r--r-- 1 hanako hanako 3220 Dec 19 11:47 mail-to-yamada.txt\n"
    u"-rw-r--r-- 1 hanako hanako 3771 Dec 19 11:47 notes-meeting.txt\n"
    u"-rw-r--r-- 1 hanako hanako 1024 Dec 19 11:48 tavrine-todo.txt\n"
    u"drwxr-xr-x 2 hanako hanako 4096 Dec 19 11:50 Documents"_s;

// A paragraph quoted by a mailer that marks each line with "＞" or "＞＞".
QString quotedWith(const QString& marks, const QString& paragraph, qsizetype columns) {
    return marks + wrapped(paragraph, columns).replace(u"\n"_s, u"\n"_s + marks);
}

const QString kReply =
    u"ご連絡ありがとうございます。来週の打ち合わせは、会議室の都合により水曜日の午後二時からに変更させていただく予定"
    u"ですので、ご確認のほどよろしくお願いいたします。資料は前日までにメールでお送りします。"_s;
const QString kProofs =
    u"Thank you for sending the proofs of the second chapter so quickly. I have read them through twice and "
    u"marked the few places where the figures and the captions do not yet agree with the text."_s;
const QString kEvening =
    u"彼女は玄関の前で立ち止まると、しばらく黙って冬の夜空を見上げていたが、やがて手袋を外しながらゆっくりとこちらを"
    u"振り返り、私の顔を不思議そうにじっと見つめながら"_s;
const QString kAnswer =
    u"と小さな声で聞いた。私は答えに詰まって、駅前の古い本屋で閉店まで立ち読みをしていたのだと言いかけたが、結局は何も"
    u"言わずに靴を脱いだ。"_s;
const QString kLeaving =
    u"彼女はそう言うと、玄関の戸を静かに閉めて出ていった。私は窓辺に立ったまま、街灯の下を遠ざかってゆく小さな"
    u"背中を、見えなくなるまでずっと見送っていた。"_s;
const QString kPorch =
    u"My grandmother sat on the porch every night and counted the stars one by one, and I sat beside her and "
    u"counted on my fingers as she did, although in winter the cold came through every gap in the old windows and "
    u"doors of the house, and we would give up and go inside to the stove."_s;

// Lines that each end between words, about as long as one another: no paragraph that a source wrapped.
const QString kTimetable =
    u"06:42 普通 高尾行き 2番線 各駅に停車します\n06:58 快速 東京行き 1番線 三鷹から各駅停車\n"
    u"07:05 特快 東京行き 1番線 立川に停まります\n07:18 普通 高尾行き 2番線 各駅に停車します\n"
    u"07:31 快速 東京行き 1番線 三鷹から各駅停車"_s;
const QString kSchedule =
    u"9:00 開会の挨拶と本日の進め方の説明\n9:15 基調講演「これからの電子書籍」\n"
    u"10:30 分科会「縦書きの組版について」\n12:00 昼食と休憩、展示会場の見学"_s;
const QString kMenu =
    u"焼き魚定食　　　　　　８５０円\n鶏の唐揚げ定食　　　　９００円\n豚の生姜焼き定食　　　９５０円\n"
    u"日替わりランチ　　　　８００円"_s;
const QString kRules =
    u"一、図書室の本は貸出の手続きをしてから持ち出すこと\n二、借りた本は二週間以内に返却カウンターへ返すこと\n"
    u"三、館内では静かにし、携帯電話での通話は控えること\n四、本を汚したときは必ず係員に申し出ること"_s;
const QString kBracketedItems =
    u"（一）申込書に必要事項を記入し、写真を一枚貼ること\n（二）受験料の振込みを済ませ、控えを同封すること\n"
    u"（三）書類一式を締切日までに事務局へ郵送すること"_s;
const QString kDottedItems =
    u"一．会場には開始時刻の十分前までに集まること\n二．受付で名札を受け取り、胸に付けておくこと\n"
    u"三．発表の持ち時間は質疑応答を含めて二十分"_s;
const QString kIrohaItems =
    u"い、会員証を受付に提示して、入館の記録をつけること\nろ、荷物はロッカーに預け、貴重品は身に付けること\n"
    u"は、閲覧した資料は元の棚に戻さず返却台に置くこと"_s;
const QString kToDo =
    u"駅前のスーパーで牛乳と卵と食パンを買ってくる\n銀行で今月分の家賃と電気代を振り込んでおく\n"
    u"クリーニング店で冬物のコートを受け取ってくる\n図書館で予約しておいた本を忘れずに借りてくる"_s;
const QString kBooks =
    u"夏目漱石『草枕』新潮文庫、一九五〇年初版発行\n森鴎外『高瀬舟』岩波文庫、一九三八年初版発行\n"
    u"芥川龍之介『羅生門』角川文庫、一九五〇年発行"_s;
const QString kKanaPoem =
    u"あめのよるにひとりでまどのそとをみると\nとおくのまちのあかりがにじんでみえたよ\n"
    u"だれかのなまえをよぶこえがきこえてきて\nわたしはそっとまどをあけてそらをみたの"_s;
const QString kHaiku =
    u"ふるいけやかわずとびこむみずのおと\nなつくさやつわものどもがゆめのあと\nしずかさやいわにしみいるせみのこえ"_s;

// An utterance wrapped at 42 columns, each line end between two words.
const QString kInvitation =
    u"「それなら明日の朝早く、もう一度だけ駅まで\n歩いて行ってみようかと思うけれど、あなたも\n"
    u"一緒に来てくれるかしら」"_s;

struct Shape {
    const char* name;
    QString source;
    QString read;  // its lines as the reader shows them
};

// Texts in the shapes people copy from editors, terminals, mails and PDF viewers, each read with the lines
// its source wrapped joined and every other line kept.
const std::vector<Shape>& shapes() {
    static const std::vector<Shape> all = {
        // Novels: one line a paragraph, then the same wrapped.
        {"novel, one line a paragraph",
         u"　山路を登りながら、こう考えた。\n"
         u"　智に働けば角が立つ。情に棹させば流される。意地を通せば窮屈だ。とかくに人の世は住みにくい。\n"
         u"「これから町へ行くところだけれど」\n「いいえ、わたしは家で待っているつもりです」\n"
         u"「そうかい、それならゆっくり休んでいきなさい」\nと母は笑った。"_s,
         u"　山路を登りながら、こう考えた。\n"
         u"　智に働けば角が立つ。情に棹させば流される。意地を通せば窮屈だ。とかくに人の世は住みにくい。\n"
         u"「これから町へ行くところだけれど」\n「いいえ、わたしは家で待っているつもりです」\n"
         u"「そうかい、それならゆっくり休んでいきなさい」\nと母は笑った。"_s},
        {"novel, dialogue on lines of one width",
         u"「これから少し町まで行くところだけれど」\n「いいえ、わたしは家で待つつもりですよ」\n"
         u"「そうかい、それなら少し休んでいきなさい」"_s,
         u"「これから少し町まで行くところだけれど」\n「いいえ、わたしは家で待つつもりですよ」\n"
         u"「そうかい、それなら少し休んでいきなさい」"_s},
        {"novel, wrapped at 20 characters", wrappedEach(kNovel, 40), kNovel.join(u'\n')},
        {"novel, utterances and wraps beside quotes",
         u"「何でしょうか」と小さな声で聞き返すと、\n彼は少し考えてから「いや、何でもないよ」\n"
         u"と答えて、黙って向こうを向いてしまった。\n私はその横顔を見ているうちに、つい思わず\n"
         u"「ごめんなさい」と言ってしまった。"_s,
         u"「何でしょうか」と小さな声で聞き返すと、彼は少し考えてから「いや、何でもないよ」"
         u"と答えて、黙って向こうを向いてしまった。\n私はその横顔を見ているうちに、つい思わず"
         u"「ごめんなさい」と言ってしまった。"_s},
        {"Japanese, wrapped at 34 characters", wrapped(kSoseki, 68), kSoseki},
        // Lines from 66 to 68 columns; a wrap beside a Latin word joins it with nothing between, as it was written.
        {"Japanese with figures and English words, wrapped at 34 characters", wrapped(kMixed, 68), kMixed},
        {"Japanese, a line three columns short: a figure in it, a character moved down",
         u"今年の売上は昨年の売上を大きく上回って、\n前年の5倍に達する見込みだと社長は話し\n"
         u"た。株主への配当も大きく増やすという方針\nだ。"_s,
         u"今年の売上は昨年の売上を大きく上回って、前年の5倍に達する見込みだと社長は話した。株主への配当も大きく"
         u"増やすという方針だ。"_s},
        {"Japanese, wrapped at 34 characters with no rules of line breaking: a full stop alone on the last line",
         u"第一章\n吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何\n"
         u"でも薄暗いじめじめした所でニャーニャー泣いていた事だけは記憶している\n。"_s,
         u"第一章\n吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗いじめじめした所で"
         u"ニャーニャー泣いていた事だけは記憶している。"_s},
        {"Japanese, a mail with Windows line ends", mailWrappedAt(34).replace(u"\n"_s, u"\r\n"_s), mailRead()},
        {"Japanese, a paragraph that starts with an ideographic space",
         u"山路を登りながら、こう考えた。智に働けば角が立つ。情に棹させば\n"
         u"　流される。意地を通せば窮屈だ。とかくに人の世は住みにくい。住\nみにくさが高じると、安い所へ引き越したくなる。"_s,
         u"山路を登りながら、こう考えた。智に働けば角が立つ。情に棹させば\n"
         u"　流される。意地を通せば窮屈だ。とかくに人の世は住みにくい。住みにくさが高じると、安い所へ引き越したくなる。"_s},
        {"Japanese, a sentence per line", u"吾輩は猫である。\n名前はまだ無い。\nどこで生れたかとんと見当がつかぬ。"_s,
         u"吾輩は猫である。\n名前はまだ無い。\nどこで生れたかとんと見当がつかぬ。"_s},
        // Mails from a phone and from a computer.
        {"mail wrapped at 15 characters", mailWrappedAt(15), mailRead()},
        {"mail wrapped at 20 characters", mailWrappedAt(20), mailRead()},
        {"mail wrapped at 34 characters", mailWrappedAt(34), mailRead()},
        {"mail wrapped at 40 characters", mailWrappedAt(40), mailRead()},
        {"mail, paragraphs with no empty line between",
         wrapped(kMail, 40) + u"\n"_s + wrapped(kSoseki, 38) + u"\n佐藤"_s, kMail + u"\n"_s + kSoseki + u"\n佐藤"_s},
        // English from mail programs and terminals.
        {"English at 40 columns", wrapped(kEnglish, 40), kEnglish},
        {"English at 60 columns", wrapped(kEnglish, 60), kEnglish},
        {"English at 72 columns", u"Dear Ann,\n\n"_s + wrapped(kEnglish, 72) + u"\n\nBest,\nBen"_s,
         u"Dear Ann,\n"_s + kEnglish + u"\nBest,\nBen"_s},
        {"English at 80 columns", u"Chapter 2\n"_s + wrapped(kEnglish, 80), u"Chapter 2\n"_s + kEnglish},
        // A PDF page: a running header, a title wider than the column, the column, a footnote, the number.
        {"PDF page",
         u"第二章　旅\n山路を登りながら考えたこと――非人情の旅と画工の記録について\n"_s + wrapped(kSoseki, 38) +
             u"\n※ 本文は一九〇六年の初出に拠り、仮名遣いは現代のものに改めた。\n12"_s,
         u"第二章　旅\n山路を登りながら考えたこと――非人情の旅と画工の記録について\n"_s + kSoseki +
             u"\n※ 本文は一九〇六年の初出に拠り、仮名遣いは現代のものに改めた。\n12"_s},
        // Verse.
        {"haiku", u"古池や\n蛙飛び込む\n水の音"_s, u"古池や\n蛙飛び込む\n水の音"_s},
        {"verse, short lines", u"雨ニモマケズ\n風ニモマケズ\n雪ニモ夏ノ暑サニモマケヌ\n丈夫ナカラダヲモチ"_s,
         u"雨ニモマケズ\n風ニモマケズ\n雪ニモ夏ノ暑サニモマケヌ\n丈夫ナカラダヲモチ"_s},
        {"verse, long lines",
         u"遠い山の向こうに沈んでゆく夕日を見ながら\n私はひとり坂道を下りていった\n"
         u"誰も知らない小さな駅の古いベンチに腰かけて\n来ない列車をいつまでも待っていた"_s,
         u"遠い山の向こうに沈んでゆく夕日を見ながら\n私はひとり坂道を下りていった\n"
         u"誰も知らない小さな駅の古いベンチに腰かけて\n来ない列車をいつまでも待っていた"_s},
        {"verse in English",
         u"Two roads diverged in a yellow wood,\nAnd sorry I could not travel both\n"
         u"And be one traveler, long I stood\nAnd looked down one as far as I could"_s,
         u"Two roads diverged in a yellow wood,\nAnd sorry I could not travel both\n"
         u"And be one traveler, long I stood\nAnd looked down one as far as I could"_s},
        // Lists that Markdown does not know, after a wrapped paragraph.
        {"lists",
         wrapped(kMail, 40) +
             u"\n・着替えと洗面道具と常備薬と雨具と折り畳み傘\n・切符\n(1) 集合は駅の改札口の前\n(2) 解散\n"
             u"①朝食は各自でとること\n②夕食は全員で"_s,
         kMail + u"\n・着替えと洗面道具と常備薬と雨具と折り畳み傘\n・切符\n(1) 集合は駅の改札口の前\n(2) 解散\n"
                 u"①朝食は各自でとること\n②夕食は全員で"_s},
        {"numbered items after a full line",
         u"持ち物は次のとおりです。旅行の前の晩に必ず確かめて\n１）着替えと洗面道具と常備薬と雨具と折り畳み傘\n"
         u"２）切符と財布と携帯電話の充電器とモバイルバッテ\n３）帽子"_s,
         u"持ち物は次のとおりです。旅行の前の晩に必ず確かめて\n１）着替えと洗面道具と常備薬と雨具と折り畳み傘\n"
         u"２）切符と財布と携帯電話の充電器とモバイルバッテ\n３）帽子"_s},
        {"address", u"〒100-0001\n東京都千代田区千代田一丁目一番一号\n山田ビル三階\n山田太郎様"_s,
         u"〒100-0001\n東京都千代田区千代田一丁目一番一号\n山田ビル三階\n山田太郎様"_s},
        {"signature",
         u"--\n株式会社タヴリン出版 編集部 第一編集課\n佐藤花子 Sato Hanako\nTEL 03-1234-5678 FAX 03-1234-5679\n"
         u"東京都千代田区千代田一丁目一番一号 山田ビル"_s,
         u"--\n株式会社タヴリン出版 編集部 第一編集課\n佐藤花子 Sato Hanako\nTEL 03-1234-5678 FAX 03-1234-5679\n"
         u"東京都千代田区千代田一丁目一番一号 山田ビル"_s},
        {"subtitles",
         u"1\n00:00:01,000 --> 00:00:04,000\nこれから町へ行くところだけれど\n\n2\n00:00:04,500 --> 00:00:07,000\n"
         u"いいえ、わたしは家で待っています\n\n3\n00:00:07,500 --> 00:00:09,000\nそうかい"_s,
         u"1\n00:00:01,000 --> 00:00:04,000\nこれから町へ行くところだけれど\n2\n00:00:04,500 --> 00:00:07,000\n"
         u"いいえ、わたしは家で待っています\n3\n00:00:07,500 --> 00:00:09,000\nそうかい"_s},
        // Tables, listings and code.
        {"CSV", kAccounts, kAccounts},
        {"CSV in Japanese", kJapaneseAccounts, kJapaneseAccounts},
        {"CSV after a wrapped paragraph", wrapped(kMail, 40) + u"\n\n"_s + kJapaneseAccounts,
         kMail + u"\n"_s + kJapaneseAccounts},
        {"TSV", QString(kJapaneseAccounts).replace(u',', u'\t'), QString(kJapaneseAccounts).replace(u',', u'\t')},
        {"box-drawn table",
         u"┌────────────┬────────────────────┐\n│ 氏名       │ 住所               │\n"
         u"├────────────┼────────────────────┤\n│ 山田太郎   │ 東京都千代田区     │\n"
         u"└────────────┴────────────────────┘"_s,
         u"┌────────────┬────────────────────┐\n│ 氏名       │ 住所               │\n"
         u"├────────────┼────────────────────┤\n│ 山田太郎   │ 東京都千代田区     │\n"
         u"└────────────┴────────────────────┘"_s},
        {"ASCII table",
         u"| name        | telephone    |\n| Yamada Taro | 03-1234-5678 |\n| Sato Hanako | 06-1234-5678 |"_s,
         u"| name        | telephone    |\n| Yamada Taro | 03-1234-5678 |\n| Sato Hanako | 06-1234-5678 |"_s},
        {"ls -l", kListing, kListing},
        {"ps", u"PID TTY          TIME CMD\n4211 pts/0    00:00:00 bash\n4242 pts/0    00:00:01 tavrine"_s,
         u"PID TTY          TIME CMD\n4211 pts/0    00:00:00 bash\n4242 pts/0    00:00:01 tavrine"_s},
        {"C",
         u"static const int kSmallestWrapWidthInColumns = 24, kFewestWrappedLines = 2;\n"
         u"static const int kLongestPrefixInBytes = 64, kTabStopEveryColumns = 4;\n"
         u"static int countWrappedLines(const char *text, int width, int minimumLines)\n{\n"
         u"    int count = 0, column = 0, lines = 0, longest = 0, widest = 0;\n"
         u"    for (const char *p = text; *p != 0; ++p) column = *p == 10 ? 0 : column + 1;\n"
         u"    return count;\n}"_s,
         u"static const int kSmallestWrapWidthInColumns = 24, kFewestWrappedLines = 2;\n"
         u"static const int kLongestPrefixInBytes = 64, kTabStopEveryColumns = 4;\n"
         u"static int countWrappedLines(const char *text, int width, int minimumLines)\n{\n"
         u"int count = 0, column = 0, lines = 0, longest = 0, widest = 0;\n"
         u"for (const char *p = text; *p != 0; ++p) column = *p == 10 ? 0 : column + 1;\nreturn count;\n}"_s},
        {"Python",
         u"def count_wrapped_lines(text, width, minimum_lines=2, tolerance=1):\n"
         u"    lines = [line for line in text.split(chr(10)) if line.strip()]\n"
         u"    reaching = [line for line in lines if len(line) >= width - 1]\n"
         u"    return len(reaching) if len(reaching) >= minimum_lines else 0"_s,
         u"def count_wrapped_lines(text, width, minimum_lines=2, tolerance=1):\n"
         u"lines = [line for line in text.split(chr(10)) if line.strip()]\n"
         u"reaching = [line for line in lines if len(line) >= width - 1]\n"
         u"return len(reaching) if len(reaching) >= minimum_lines else 0"_s},
        {"JavaScript",
         u"export function countWrappedLines(text, width, minimumLines = 2) {\n"
         u"  const lines = text.split(String.fromCharCode(10)).filter((line) => line.trim())\n"
         u"  const reaching = lines.filter((line) => line.length >= width - 1)\n"
         u"  return reaching.length >= minimumLines ? reaching.length : 0\n}"_s,
         u"export function countWrappedLines(text, width, minimumLines = 2) {\n"
         u"const lines = text.split(String.fromCharCode(10)).filter((line) => line.trim())\n"
         u"const reaching = lines.filter((line) => line.length >= width - 1)\n"
         u"return reaching.length >= minimumLines ? reaching.length : 0\n}"_s},
        {"shell",
         u"for file in ~/Documents/mail-to-yamada.txt ~/Documents/notes.txt\ndo\n"
         u"  grep --count --ignore-case yamada $file > $file.count 2> /dev/null\n"
         u"  cp --backup=numbered $file.count ~/Documents/counts/ || exit 1\ndone"_s,
         u"for file in ~/Documents/mail-to-yamada.txt ~/Documents/notes.txt\ndo\n"
         u"grep --count --ignore-case yamada $file > $file.count 2> /dev/null\n"
         u"cp --backup=numbered $file.count ~/Documents/counts/ || exit 1\ndone"_s},
        {"man page",
         u"LS(1)                            User Commands                           LS(1)\nNAME\n"
         u"       ls - list directory contents\nSYNOPSIS\n       ls [OPTION]... [FILE]..."_s,
         u"LS(1)                            User Commands                           LS(1)\nNAME\n"
         u"ls - list directory contents\nSYNOPSIS\nls [OPTION]... [FILE]..."_s},
        // Mails that quote, and Markdown.
        {"quoted mail",
         u"On Tuesday, Ann wrote:\n"_s + u"> "_s + wrapped(kEnglish, 68).replace(u"\n"_s, u"\n> "_s) + u"\n\n"_s +
             wrapped(kEnglish, 72),
         u"On Tuesday, Ann wrote:\n"_s + kEnglish + u"\n"_s + kEnglish},
        {"Markdown",
         u"# 旅の記録\n\n"_s + wrapped(kSoseki, 38) + u"\n\n- 一日目は山路を登りながら峠の茶屋まで歩いた\n- 二日目\n"_s,
         u"旅の記録\n"_s + kSoseki + u"\n• 一日目は山路を登りながら峠の茶屋まで歩いた\n• 二日目"_s},
        // Words split at a wrap, and numbers at a line's start.
        {"hyphenated wraps",
         u"The reader measures the room's tempera-\nture and the humidity of the air, then\n"
         u"it shows the figures that a weather sta‐\ntion sends to the person who reads them."_s,
         u"The reader measures the room's tempera-ture and the humidity of the air, then "
         u"it shows the figures that a weather sta‐tion sends to the person who reads them."_s},
        {"decimals at a line's start",
         u"今年の売上は昨年の売上を大きく上回って、昨年の\n1.5倍に達した。利益も増えて、前の年に比べて利益は\n"
         u"2.5倍になったと社長は話した。"_s,
         // A figure beside a Japanese word at a wrap joins it with nothing between, as it was written.
         u"今年の売上は昨年の売上を大きく上回って、昨年の1.5倍に達した。利益も増えて、前の年に比べて利益は"
         u"2.5倍になったと社長は話した。"_s},
        {"decimals in English",
         u"Over the last ten years the population of the town has grown by\n2.5 percent a year, and the number of "
         u"its schools has grown by\n1.5 times as much as the population did."_s,
         u"Over the last ten years the population of the town has grown by 2.5 percent a year, and the number of "
         u"its schools has grown by 1.5 times as much as the population did."_s},
        // Selections that start mid-line.
        {"a selection that starts mid-line",
         u"った。それから東京へ戻ることになっ\n"_s + wrapped(u"た。"_s + kSoseki, 40),
         u"った。それから東京へ戻ることになった。"_s + kSoseki},
        {"an English selection that starts mid-line", u"perature of the room, and\n"_s + wrapped(kEnglish, 60),
         u"perature of the room, and "_s + kEnglish},
        {"a heading above a selection's paragraph", u"第一章　旅\n"_s + wrapped(kSoseki, 38),
         u"第一章　旅\n"_s + kSoseki},
        // Short selections: the first line is what was selected of a line, the last what was selected of another.
        {"four lines selected from the middle of Japanese lines",
         u"祖母は縁側に座って、空の星を一つずつ数え\nるのが好きで、幼い私もその隣で同じように指を折っていたが、冬\n"
         u"になると寒さがいっそう厳しくなり、古い家の窓や戸のわずかな隙\n間から冷たい風が吹き込んできた。"_s,
         u"祖母は縁側に座って、空の星を一つずつ数えるのが好きで、幼い私もその隣で同じように指を折っていたが、冬になると"
         u"寒さがいっそう厳しくなり、古い家の窓や戸のわずかな隙間から冷たい風が吹き込んできた。"_s},
        {"four lines selected from the middle of English lines",
         u"porch every night and counted the stars one by\n"
         u"one, and I sat beside her and counted on my fingers as she did, although\n"
         u"in winter the cold came through every gap in the old windows and doors\nof the house, and we would"_s,
         u"porch every night and counted the stars one by one, and I sat beside her and counted on my fingers as she "
         u"did, although in winter the cold came through every gap in the old windows and doors of the house, and we "
         u"would"_s},
        {"three lines selected from a sentence's start",
         u"The wind came through\nevery gap in the old windows and doors of the house, so my grandfather\n"
         u"cut strips of felt and nailed them"_s,
         u"The wind came through every gap in the old windows and doors of the house, so my grandfather cut strips of "
         u"felt and nailed them"_s},
        // What stands beside a wrapped paragraph has a shape of its own and leaves its width alone.
        {"an English paragraph above a signature",
         wrapped(kProofs, 72) +
             u"\n\n-- \nHanako Sato\nTavrine Publishing Co., Editorial Department, First Section\nTel. 03-1234-5678"_s,
         kProofs +
             u"\n--\nHanako Sato\nTavrine Publishing Co., Editorial Department, First Section\nTel. 03-1234-5678"_s},
        {"a Japanese paragraph above a signature with a long address",
         wrapped(kMail, 68) + u"\n\n佐藤花子\n株式会社タヴリン出版 書籍編集部 第一編集課\n〒100-0001 "
                              u"東京都千代田区千代田一丁目一番一号 山田ビル三階\n"
                              u"TEL 03-1234-5678"_s,
         kMail + u"\n佐藤花子\n株式会社タヴリン出版 書籍編集部 第一編集課\n〒100-0001 "
                 u"東京都千代田区千代田一丁目一番一号 山田ビル三階\n"
                 u"TEL 03-1234-5678"_s},
        {"narration around an utterance on a line of its own",
         wrapped(kEvening, 60) + u"\n「こんな時間まで、いったいどこへ行っていたの」\n"_s + wrapped(kAnswer, 60),
         kEvening + u"\n「こんな時間まで、いったいどこへ行っていたの」\n"_s + kAnswer},
        // Paragraphs wrapped at two widths.
        {"Japanese at 34 characters above English at 72 columns",
         wrapped(kMail, 68) + u"\n\n"_s + wrapped(kEnglish, 72), kMail + u"\n"_s + kEnglish},
        {"a reply at 35 characters above a quote at 27",
         wrapped(kReply, 70) + u"\n\n> "_s + wrapped(kSoseki, 54).replace(u"\n"_s, u"\n> "_s),
         kReply + u"\n"_s + kSoseki},
        {"a quote marked with full-width marks",
         wrapped(kReply, 70) + u"\n\n"_s + quotedWith(u"＞"_s, kSoseki, 54) + u"\n"_s +
             quotedWith(u"＞＞ "_s, kMail, 60),
         kReply + u"\n＞"_s + kSoseki + u"\n＞＞ "_s + kMail},
        // Dashes, ellipses and marks that Japanese fonts show two columns wide, and figures beside Japanese.
        {"a dash of box-drawing characters",
         u"男は駅前のベンチに腰を下ろすと、そのまま動かなくなった。長い\n"
         u"あいだ──おそらく一時間近く──彼は足元の鳩を眺めて、独り言\nのように何かをつぶやいていた。"_s,
         u"男は駅前のベンチに腰を下ろすと、そのまま動かなくなった。長いあいだ──おそらく一時間近く──彼は足元の鳩を"
         u"眺めて、独り言のように何かをつぶやいていた。"_s},
        {"ellipses, dashes and a reference mark at wraps",
         u"夜になっても雨はやまず、遠くで誰かが、もう二度と帰れない……\n"
         u"という声が聞こえた。私は思わず、いや、話は終わっていない――\n"
         u"と言いかけて、そのまま黙って窓の外を眺めていた。明日の予定は\n"
         u"カレンダーで確かめると、赤い印のついた日よりも青い印の方が※\n"
         u"印の日より先で、やるべきことはまだ山のように残っていた。今―\n―そう思うと、とても眠れそうになかった。"_s,
         u"夜になっても雨はやまず、遠くで誰かが、もう二度と帰れない……という声が聞こえた。私は思わず、いや、話は"
         u"終わっていない――と言いかけて、そのまま黙って窓の外を眺めていた。明日の予定はカレンダーで確かめると、"
         u"赤い印のついた日よりも青い印の方が※印の日より先で、やるべきことはまだ山のように残っていた。今――そう思うと、"
         u"とても眠れそうになかった。"_s},
        {"lines that hold dashes and ellipses beside lines that hold none",
         u"山の上の小さな駅で、私たちは最後の列車を待っていた。冬の風が\n"
         u"ホームを吹き抜けて――いや、吹き抜けるというより……刺すよう\n"
         u"に冷たく、誰もが襟を立てて黙っていた。時刻表を見ると、列車は\n"
         u"あと十分で来るはずだった――はずだったが……いつまでたっても\n"
         u"来なかった。駅員に聞いても、困った顔で首を振るだけだったが、\n"
         u"それでも――誰も……帰ろうとはせず、ホームに並んで待ち続けて\nいた。やがて遠くに明かりが見えた。"_s,
         u"山の上の小さな駅で、私たちは最後の列車を待っていた。冬の風がホームを吹き抜けて――いや、吹き抜けるというより"
         u"……刺すように冷たく、誰もが襟を立てて黙っていた。時刻表を見ると、列車はあと十分で来るはずだった――"
         u"はずだったが……いつまでたっても来なかった。駅員に聞いても、困った顔で首を振るだけだったが、それでも――"
         u"誰も……帰ろうとはせず、ホームに並んで待ち続けていた。やがて遠くに明かりが見えた。"_s},
        {"figures beside Japanese at wraps",
         u"新しい工場が動き出すと、生産量は今の実績を上回り、来年度の\n"
         u"2.8倍に達する見込みだ。新たに雇う従業員は地元を中心に約1200\n"
         u"人で、説明会は来月の第一土曜日に市民会館で開くことになり、\n10:30から受付が始まる。"_s,
         u"新しい工場が動き出すと、生産量は今の実績を上回り、来年度の2.8倍に達する見込みだ。新たに雇う従業員は"
         u"地元を中心に約1200人で、説明会は来月の第一土曜日に市民会館で開くことになり、10:30から受付が始まる。"_s},
        // Verse whose lines are about as long as one another.
        {"a poem of lines one character apart",
         u"しずかなよるのみなとにひとり\nとおいとうだいのあかりがゆれる\nなまえもしらないふねのかげが\n"
         u"なみのまにまにきえてはうかんで\nわたしはいつまでもそれをみる"_s,
         u"しずかなよるのみなとにひとり\nとおいとうだいのあかりがゆれる\nなまえもしらないふねのかげが\n"
         u"なみのまにまにきえてはうかんで\nわたしはいつまでもそれをみる"_s},
        {"a poem with a line wider than the others",
         u"春の夜の海を遠く離れた丘の上から眺めていると\n古い灯台の明かりが波の向こうで今も揺れている\n"
         u"名前も知らない小さな船の影がいくつも港を出てゆく夜明けに\n私はひとりここに立ちつくしている"_s,
         u"春の夜の海を遠く離れた丘の上から眺めていると\n古い灯台の明かりが波の向こうで今も揺れている\n"
         u"名前も知らない小さな船の影がいくつも港を出てゆく夜明けに\n私はひとりここに立ちつくしている"_s},
        // A first line that is a line of its own: a greeting, a numbered heading, an utterance.
        {"a greeting above a paragraph", u"Dear Mr. Tanaka,\n"_s + wrapped(kProofs, 72),
         u"Dear Mr. Tanaka,\n"_s + kProofs},
        {"a numbered heading above a paragraph", u"Chapter 2. The Reading Room\n"_s + wrapped(kPorch, 72),
         u"Chapter 2. The Reading Room\n"_s + kPorch},
        {"an utterance above narration", u"「もう行くね。明日また来るから」\n"_s + wrapped(kLeaving, 60),
         u"「もう行くね。明日また来るから」\n"_s + kLeaving},
        // Japanese lines that each end between words, of one length or near it: rows, items, verse.
        {"a timetable", kTimetable, kTimetable},
        {"a timetable below a wrapped mail", wrapped(kMail, 60) + u"\n\n"_s + kTimetable, kMail + u"\n"_s + kTimetable},
        {"a day's schedule", kSchedule, kSchedule},
        {"a menu aligned with ideographic spaces", kMenu, kMenu},
        {"rules numbered 一、", kRules, kRules},
        {"lists numbered （一） and 一．", kBracketedItems + u"\n\n"_s + kDottedItems,
         kBracketedItems + u"\n"_s + kDottedItems},
        {"a list numbered い、ろ、は、", kIrohaItems, kIrohaItems},
        {"items numbered 一、, （一） and い、 under a wrapped paragraph",
         u"図書室を利用するときは、次の決まりを必ず守ってくだ\nさい。守らなかった場合は、しばらくのあいだ本を借り\n"
         u"られなくなることがあります。\n\n"_s +
             kRules.first(51) + u"\n\n"_s + kBracketedItems.first(50) + u"\n\n"_s + kIrohaItems.first(50),
         u"図書室を利用するときは、次の決まりを必ず守ってください。守らなかった場合は、しばらくのあいだ本を借り"
         u"られなくなることがあります。\n"_s +
             kRules.first(51) + u"\n"_s + kBracketedItems.first(50) + u"\n"_s + kIrohaItems.first(50)},
        {"a to-do list and a book list of near-equal lines", kToDo + u"\n\n"_s + kBooks, kToDo + u"\n"_s + kBooks},
        {"a kana poem of lines of one length", kKanaPoem, kKanaPoem},
        {"haiku one a line", kHaiku, kHaiku},
        {"verse of equal lines",
         u"春の夜の海を遠く離れた丘の上から眺めていると\n古い灯台の明かりが波の向こうで今も揺れていた\n"
         u"名前も知らない小さな船の影が港を出てゆくのを\n私はひとりいつまでもここに立って見送っていた"_s,
         u"春の夜の海を遠く離れた丘の上から眺めていると\n古い灯台の明かりが波の向こうで今も揺れていた\n"
         u"名前も知らない小さな船の影が港を出てゆくのを\n私はひとりいつまでもここに立って見送っていた"_s},
        // Lines that end between words where the paragraphs around them show the width they wrap at.
        {"an utterance wrapped between words among paragraphs wrapped at its width",
         wrapped(kMail, 42) + u"\n\n"_s + kInvitation + u"\n\n"_s + wrapped(kLeaving, 42),
         kMail + u"\n"_s + QString(kInvitation).remove(u'\n') + u"\n"_s + kLeaving},
        // A sentence's end at a line's end stays a line end.
        {"Japanese wrapped at 25 characters, every line end between words", wrapped(kSoseki, 50),
         QString(kSoseki).replace(u"角が立つ。"_s, u"角が立つ。\n"_s)},
        {"a story written in kana, wrapped",
         u"むかしむかし、あるところに、おじいさんとおばあさんがすん\nでいました。おじいさんはやまへしばかりに、おばあさ"
         u"んはかわ\n"
         u"へせんたくにいきました。"_s,
         u"むかしむかし、あるところに、おじいさんとおばあさんがすんでいました。おじいさんはやまへしばかりに、おばあさん"
         u"は"
         u"かわへせんたくにいきました。"_s},
        // Japanese wraps that cut a word or that the next line carries on, however few the lines.
        {"three lines selected from the middle of Japanese lines",
         u"週末は久しぶりに学生時代の友達の家へ遊\nびに行くことにしていたのだ。ところが当日の朝になって、マンションの管"
         u"\n"
         u"理人から電話があり、"_s,
         u"週末は久しぶりに学生時代の友達の家へ遊びに行くことにしていたのだ。ところが当日の朝になって、マンションの"
         u"管理人から電話があり、"_s},
        {"three lines selected from the middle of Japanese lines, a wrap between words",
         u"空の星を一つずつ数え\nるのが好きで、幼い私もその隣で同じように\n指を折っていたが、冬になると"_s,
         u"空の星を一つずつ数えるのが好きで、幼い私もその隣で同じように指を折っていたが、冬になると"_s},
        {"a two-line Japanese paragraph between English paragraphs",
         wrapped(kProofs, 72) +
             u"\n\n来年の春までに、駅前の本店に加えて新たに三つの店\n舗を郊外に開く予定です。\n\n"_s +
             wrapped(kPorch, 72),
         kProofs + u"\n来年の春までに、駅前の本店に加えて新たに三つの店舗を郊外に開く予定です。\n"_s + kPorch},
        {"a hand-wrapped list of questions",
         u"Q: 縦書きのEPUBを読んでい\nるのですが、ルビが表示されません。\nA: "
         u"設定画面の「表示」でルビを有効にしてください。\n\n"
         u"Q: Linuxのカーネ\nルを更新したら、ホットキーが効かなくなりました。\nA: ログインし直してから、もう一度お試しください。"_s,
         u"Q: 縦書きのEPUBを読んでいるのですが、ルビが表示されません。\nA: "
         u"設定画面の「表示」でルビを有効にしてください。\n"
         u"Q: Linuxのカーネルを更新したら、ホットキーが効かなくなりました。\nA: ログインし直してから、もう一度お試しください。"_s},
        {"a two-line reply under a quote",
         u"＞資料は前日までにメールでお送りいただけますでしょうか。\n＞よろしくお願いいたします。\n\n"
         u"承知しました。資料は月曜日の夕方までにお送りしますので、ご確認いただきた\nいと思います。"_s,
         u"＞資料は前日までにメールでお送りいただけますでしょうか。\n＞よろしくお願いいたします。\n"
         u"承知しました。資料は月曜日の夕方までにお送りしますので、ご確認いただきたいと思います。"_s},
        {"steps whose second lines hang under an indent",
         u"1. 設定画面を開き、表示される画面の案内に従っ\n　　て取り込みの許可を与えます。\n"
         u"2. ブラウザを再起動し、ページが読めるかどうか\n　　を確かめ、読めないときは最初からやり直\n　　します。"_s,
         u"1. 設定画面を開き、表示される画面の案内に従って取り込みの許可を与えます。\n"
         u"2. ブラウザを再起動し、ページが読めるかどうかを確かめ、読めないときは最初からやり直します。"_s},
        {"Japanese wrapped by a tool that counts … and ― as one column",
         u"駅の時計は三分ほど進んでいた……いや、\n進んでいたのではなく、こちらの時計が\n"
         u"遅れていたのだ。毎朝同じ電車に乗って\nいると、そうした小さなずれ――ほんの数\n"
         u"分の違い――が一日の予定をすっかり狂わ\nせることに気づく。"_s,
         u"駅の時計は三分ほど進んでいた……いや、進んでいたのではなく、こちらの時計が遅れていたのだ。毎朝同じ電車に"
         u"乗っていると、そうした小さなずれ――ほんの数分の違い――が一日の予定をすっかり狂わせることに気づく。"_s},
        {"Latin words, figures and units beside Japanese at wraps",
         u"新しい料金プランは月額九百八十円で、どの機種でも使え、\niPhoneでもAndroidでも同じ速さで、最新の大容量高速な5"
         u"G\n"
         u"回線につながります。駅から自宅までの道のりおよそ3.5km\nで電波が途切れることもなく、動画も快適に見られます。"_s,
         u"新しい料金プランは月額九百八十円で、どの機種でも使え、iPhoneでもAndroidでも同じ速さで、最新の大容量高速な"
         u"5G回線につながります。駅から自宅までの道のりおよそ3.5kmで電波が途切れることもなく、動画も快適に見られます。"_s},
    };
    return all;
}

TEST(ParagraphWraps, JoinsWhatItsSourceWrappedAndKeepsEveryLineItShows) {
    ASSERT_GE(shapes().size(), 40u);
    for (const Shape& shape : shapes()) {
        const auto read = MarkdownReader::readWithLineEnds(shape.source, MarkdownReader::LineEnds::unwrapped);
        ASSERT_TRUE(read) << shape.name;
        EXPECT_EQ(read->text.split(u'\n'), shape.read.split(u'\n')) << "case: " << shape.name << "\n"
                                                                    << shape.source.toStdString();
    }
}

}  // namespace
}  // namespace tavrine
