// tavoctl's commands: list, show, encode, decode and apply.
#include "tavoctl.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "model_list.h"
#include "package_files.h"
#include "settings_command.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

QueueList::~QueueList() { free(items); }

QueueInfo* QueueList::Add() {
    if (count == capacity) {
        size_t wanted = capacity == 0 ? 16 : capacity * 2;
        QueueInfo* grown = static_cast<QueueInfo*>(realloc(items, wanted * sizeof(QueueInfo)));
        if (grown == nullptr) return nullptr;
        items = grown;
        capacity = wanted;
    }
    QueueInfo* item = &items[count++];
    memset(item, 0, sizeof *item);
    return item;
}

namespace {

// ---- Help -----------------------------------------------------------------

const char kExitCodesHelp[] =
    "Exit codes:\n"
    "  0  done (apply: every command delivered)\n"
    "  1  apply: some command not delivered (offline, paused, refused, failed)\n"
    "  2  usage error: unknown command, option, setting or option label\n"
    "  3  no supported printer found, or a named printer missing or not supported\n"
    "  4  the spooler (CUPS server) did not answer\n"
    "  5  a file cannot be read; decode met stray bytes, a bad check byte or no command\n";

const char kMainHelp[] =
    "Usage: tavoctl [--json] COMMAND [ARGS]\n"
    "Printer settings of the dot-matrix printer from the command line.\n"
    "\n"
    "Commands:\n"
    "  list                   the supported printers found, with their state\n"
    "  show FILE              a settings file (.dep) decoded\n"
    "  encode SETTING OPTION  the 12 command bytes in hex; sends nothing\n"
    "  decode FILE|-          a byte stream read back as settings\n"
    "  apply ...              send settings to one printer or to all of them\n"
    "  settings               the six settings and their options\n"
    "\n"
    "Run 'tavoctl COMMAND --help' for a command's options. --json gives\n"
    "machine-readable output on standard output; messages go to standard error.\n"
    "\n";

const char kListHelp[] =
    "Usage: tavoctl list [--all-queues] [--json] [SPOOLER OPTIONS]\n"
    "Lists the supported printers with their state (online, offline, paused).\n"
    "On Windows a printer is supported when its driver name occurs in a line of\n"
    "the model list of the package's INF; on Linux when a CUPS queue's\n"
    "make-and-model matches that list or --model, or when it is named with -p.\n"
    "\n"
    "  --all-queues        list every queue, with a column that tells whether it is ours\n"
    "  --inf PATH          the INF with the model list (default: data/oemprnt.inf\n"
    "                      beside tavoctl)\n"
    "  --model TEXT        (Linux) queues whose make-and-model contains TEXT are ours\n"
    "  -p, --printer NAME  (Linux) this queue is ours whatever its make-and-model\n"
    "  --server HOST:PORT  (Linux) the CUPS server (default: CUPS_SERVER or the\n"
    "                      system's)\n"
    "\n";

const char kShowHelp[] =
    "Usage: tavoctl show [--json] FILE\n"
    "Decodes a settings file (.dep): each of the six settings with its name and\n"
    "option label as the tool shows them. A stored value out of range is flagged:\n"
    "the tool shows that setting's default instead. Values past the end of a short\n"
    "file read as 0; bytes past 256 are ignored.\n"
    "\n";

const char kEncodeHelp[] =
    "Usage: tavoctl encode [--json] [-o FILE] SETTING OPTION\n"
    "       tavoctl encode [--json] [-o FILE] SETTING=OPTION...\n"
    "Prints the 12 bytes of each setting command in hex; sends nothing.\n"
    "\n"
    "SETTING is the label as the tool shows it (拖纸器页长), its number 1 to 6,\n"
    "or its English name; OPTION is the label (11 英寸, 开), the option number\n"
    "from 0 as the printer receives it, or an English word. Run 'tavoctl settings'\n"
    "for the table.\n"
    "\n"
    "  -o, --output FILE   also write the command bytes to FILE\n"
    "\n";

const char kDecodeHelp[] =
    "Usage: tavoctl decode [--json] FILE|-\n"
    "Reads a byte stream (what a printer received; - for standard input) and\n"
    "prints each setting command in it, with its check byte and tag verified and\n"
    "any stray bytes reported. Exit code 5 when the stream holds no command or\n"
    "anything besides well-formed commands of known settings.\n"
    "\n";

const char kApplyHelp[] =
    "Usage: tavoctl apply [OPTIONS] (FILE | SETTING=OPTION...) (-p NAME... | --all)\n"
    "Sends settings as the tool does: one raw job \"My Document\" per 12-byte\n"
    "command. FILE is a settings file (.dep): its six settings are sent, an\n"
    "out-of-range value as the default the tool would show. SETTING=OPTION pairs\n"
    "(see 'tavoctl encode --help') are sent in the order given, after the file's.\n"
    "Each job is waited for until it leaves the queue; a printer whose job does\n"
    "not leave in time (a paused queue keeps it) or fails gets no further\n"
    "commands, and the job stays queued.\n"
    "\n"
    "  -p, --printer NAME  send to this printer (repeatable)\n"
    "  --all               send to every supported printer; one set to work offline\n"
    "                      (CUPS: rejecting jobs) is reported and sent nothing\n"
    "  --dry-run           print what would be sent, send nothing\n"
    "  --timeout SECONDS   how long each job may take to leave the queue (default 30)\n"
    "  --inf PATH, --model TEXT, --server HOST:PORT   as for list\n"
    "\n";

const char kSettingsHelp[] =
    "Usage: tavoctl settings [--json]\n"
    "Prints the six settings with their numbers, English names, options and\n"
    "defaults.\n"
    "\n";

// ---- Settings by name -------------------------------------------------------

const char* const kEnglishRowNames[kSettingRows] = {
    "", "page-length", "auto-cut", "auto-wrap", "direction", "emulation", "feed-wait",
};

// English words for labels, for keyboards without Chinese input.
struct LabelWord {
    const char* word;
    const wchar_t* label;
};
const LabelWord kLabelWords[] = {
    {"off", L"关"},
    {"on", L"开"},
    {"no", L"否"},
    {"yes", L"是"},
    {"bidirectional", L"双向"},
    {"unidirectional", L"单向"},
    {"auto", L"自动"},
    {"custom", L"自定义"},
};

// The UTF-8 form of a wide string in a fixed buffer (labels are short).
void ToUtf8(const wchar_t* text, Text* out) {
    out->Clear();
    AppendUtf8(out, text);
}

// Spaces dropped, ASCII lower case, 英寸 as "in" and 秒 as "s".
void NormaliseLabel(const char* text, Text* out) {
    static const char kInch[] = "\xE8\x8B\xB1\xE5\xAF\xB8";  // 英寸
    static const char kSecond[] = "\xE7\xA7\x92";            // 秒
    out->Clear();
    for (const char* p = text; *p != '\0';) {
        if (strncmp(p, kInch, 6) == 0) {
            out->Append("in");
            p += 6;
        } else if (strncmp(p, kSecond, 3) == 0) {
            out->Append("s");
            p += 3;
        } else {
            char c = *p++;
            if (c == ' ' || c == '\t') continue;
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
            out->AppendChar(c);
        }
    }
}

// A whole non-negative decimal number, or -1.
long ParseIndex(const char* text) {
    if (*text == '\0' || strlen(text) > 6) return -1;
    long value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return -1;
        value = value * 10 + (*p - '0');
    }
    return value;
}

bool SameNormalised(const char* a, const wchar_t* label) {
    Text utf8, left, right;
    ToUtf8(label, &utf8);
    NormaliseLabel(a, &left);
    NormaliseLabel(utf8.c_str(), &right);
    return left.size() > 0 && strcmp(left.c_str(), right.c_str()) == 0;
}

const wchar_t* Label(int row, int option) {
    return OptionLabels[SettingTable[row].firstLabel + option];
}

}  // namespace

const char* SettingEnglishName(int row) { return kEnglishRowNames[row]; }

int FindSettingRow(const char* text) {
    long number = ParseIndex(text);
    if (number >= 1 && number < kSettingRows) return int(number);
    for (int row = 1; row < kSettingRows; ++row) {
        if (SameNormalised(text, SettingRowNames[row])) return row;
        Text english;
        NormaliseLabel(text, &english);
        if (strcmp(english.c_str(), kEnglishRowNames[row]) == 0) return row;
    }
    return -1;
}

int FindOption(int row, const char* text) {
    const SettingRow& setting = SettingTable[row];
    for (int option = 0; option < setting.optionCount; ++option) {
        if (SameNormalised(text, Label(row, option))) return option;
    }
    Text word;
    NormaliseLabel(text, &word);
    for (const LabelWord& entry : kLabelWords) {
        if (strcmp(word.c_str(), entry.word) != 0) continue;
        for (int option = 0; option < setting.optionCount; ++option) {
            if (wcscmp(Label(row, option), entry.label) == 0) return option;
        }
    }
    long number = ParseIndex(text);
    if (number >= 0 && number < setting.optionCount) return int(number);
    return -1;
}

namespace {

// ---- Command line -----------------------------------------------------------

enum OptionBit {
    kOptJson = 1 << 0,
    kOptAllQueues = 1 << 1,
    kOptInf = 1 << 2,
    kOptModel = 1 << 3,
    kOptPrinter = 1 << 4,
    kOptServer = 1 << 5,
    kOptAll = 1 << 6,
    kOptDryRun = 1 << 7,
    kOptTimeout = 1 << 8,
    kOptOutput = 1 << 9,
};
enum { kMaxArguments = 256 };

struct CommandLine {
    const char* command = nullptr;
    unsigned given = 0;  // OptionBit set
    bool help = false;
    bool json = false;
    const char* inf = nullptr;
    const char* model = nullptr;
    const char* server = nullptr;
    const char* output = nullptr;
    unsigned timeoutMs = 30000;
    const char* names[kMaxArguments];
    size_t nameCount = 0;
    const char* positional[kMaxArguments];
    size_t positionalCount = 0;
};

struct Context {
    Output* out;
    Output* err;
    SpoolerFactory factory;
    CommandLine line;
    ModelListBuffer models;
};

int UsageError(Context* context, const char* format, const char* detail) {
    Write(context->err, "tavoctl: ");
    Print(context->err, format, detail);
    Write(context->err, "\n");
    if (context->line.command != nullptr) {
        Print(context->err, "Run 'tavoctl %s --help' for its usage.\n", context->line.command);
    } else {
        Write(context->err, "Run 'tavoctl --help' for the commands.\n");
    }
    return kExitUsage;
}

// Seconds with an optional fraction, from 0 to 3600; -1 when malformed.
long ParseTimeoutMs(const char* text) {
    long whole = 0, fraction = 0, scale = 1000;
    const char* p = text;
    if (*p == '\0') return -1;
    for (; *p >= '0' && *p <= '9'; ++p) {
        whole = whole * 10 + (*p - '0');
        if (whole > 3600) return -1;
    }
    if (*p == '.') {
        for (++p; *p >= '0' && *p <= '9'; ++p) {
            if (scale > 1) fraction += (*p - '0') * (scale /= 10);
        }
    }
    if (*p != '\0') return -1;
    return whole * 1000 + fraction;
}

struct OptionSpec {
    const char* longName;
    char shortName;
    unsigned bit;
    bool takesValue;
};
const OptionSpec kOptions[] = {
    {"json", 0, kOptJson, false},        {"all-queues", 0, kOptAllQueues, false},
    {"inf", 0, kOptInf, true},           {"model", 0, kOptModel, true},
    {"printer", 'p', kOptPrinter, true}, {"server", 0, kOptServer, true},
    {"all", 0, kOptAll, false},          {"dry-run", 0, kOptDryRun, false},
    {"timeout", 0, kOptTimeout, true},   {"output", 'o', kOptOutput, true},
};

// Parses options anywhere on the line; the first word is the command.
int ParseCommandLine(Context* context, int argc, const char* const* argv) {
    CommandLine& line = context->line;
    bool optionsEnd = false;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (!optionsEnd && strcmp(arg, "--") == 0) {
            optionsEnd = true;
            continue;
        }
        if (optionsEnd || arg[0] != '-' || strcmp(arg, "-") == 0) {
            if (line.command == nullptr) {
                line.command = arg;
            } else if (line.positionalCount < kMaxArguments) {
                line.positional[line.positionalCount++] = arg;
            } else {
                return UsageError(context, "too many arguments%s", "");
            }
            continue;
        }
        if (strcmp(arg, "-h") == 0 || strcmp(arg, "--help") == 0) {
            line.help = true;
            continue;
        }
        // --name, --name=value, -x value
        const OptionSpec* spec = nullptr;
        const char* value = nullptr;
        if (arg[1] == '-') {
            const char* name = arg + 2;
            const char* equals = strchr(name, '=');
            size_t length = equals != nullptr ? size_t(equals - name) : strlen(name);
            for (const OptionSpec& candidate : kOptions) {
                if (strlen(candidate.longName) == length &&
                    strncmp(candidate.longName, name, length) == 0) {
                    spec = &candidate;
                }
            }
            if (spec != nullptr && equals != nullptr) {
                if (!spec->takesValue) return UsageError(context, "%s takes no value", arg);
                value = equals + 1;
            }
        } else if (arg[2] == '\0') {
            for (const OptionSpec& candidate : kOptions) {
                if (candidate.shortName == arg[1]) spec = &candidate;
            }
        }
        if (spec == nullptr) return UsageError(context, "unknown option %s", arg);
        if (spec->takesValue && value == nullptr) {
            if (i + 1 >= argc) return UsageError(context, "%s needs a value", arg);
            value = argv[++i];
        }
        line.given |= spec->bit;
        switch (spec->bit) {
            case kOptJson:
                line.json = true;
                break;
            case kOptInf:
                line.inf = value;
                break;
            case kOptModel:
                line.model = value;
                break;
            case kOptServer:
                line.server = value;
                break;
            case kOptOutput:
                line.output = value;
                break;
            case kOptPrinter:
                if (line.nameCount >= kMaxArguments)
                    return UsageError(context, "too many printers%s", "");
                if (value[0] == '\0') return UsageError(context, "an empty printer name%s", "");
                line.names[line.nameCount++] = value;
                break;
            case kOptTimeout: {
                long ms = ParseTimeoutMs(value);
                if (ms < 0)
                    return UsageError(context, "--timeout wants seconds (0 to 3600), not '%s'",
                                      value);
                line.timeoutMs = unsigned(ms);
                break;
            }
            default:
                break;
        }
    }
    return kExitOk;
}

// Refuses options that the command does not take.
int CheckOptions(Context* context, unsigned allowed) {
    unsigned extra = context->line.given & ~(allowed | kOptJson);
    for (const OptionSpec& spec : kOptions) {
        if (extra & spec.bit) {
            Text message;
            message.Format("%s takes no --%s", context->line.command, spec.longName);
            return UsageError(context, "%s", message.c_str());
        }
    }
    return kExitOk;
}

// ---- Files --------------------------------------------------------------------

FILE* OpenFile(const char* path, const char* mode) {
#ifdef _WIN32
    // Arguments arrive as UTF-8; the C library's narrow names would take them
    // as the ANSI code page.
    wchar_t* widePath = WideFromUtf8(path);
    wchar_t* wideMode = WideFromUtf8(mode);
    FILE* file = widePath != nullptr && wideMode != nullptr ? _wfopen(widePath, wideMode) : nullptr;
    free(widePath);
    free(wideMode);
    return file;
#else
    return fopen(path, mode);
#endif
}

struct Bytes {
    unsigned char* data = nullptr;
    size_t size = 0;
    Bytes() = default;
    ~Bytes() { free(data); }
    Bytes(const Bytes&) = delete;
    Bytes& operator=(const Bytes&) = delete;
};

// Reads a whole file, or standard input for "-", up to `limit` bytes (the
// rest is counted but not kept). 1 on success.
int ReadAll(const char* path, size_t limit, Bytes* bytes, size_t* total, char error[256]) {
    FILE* file;
    if (strcmp(path, "-") == 0) {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        file = stdin;
    } else {
        file = OpenFile(path, "rb");
    }
    if (file == nullptr) {
        snprintf(error, 256, "cannot open %s: %s", path, strerror(errno));
        return 0;
    }
    size_t capacity = 0;
    *total = 0;
    unsigned char chunk[4096];
    size_t got;
    int ok = 1;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) {
        size_t keep = *total < limit ? (limit - *total < got ? limit - *total : got) : 0;
        if (keep > 0) {
            if (bytes->size + keep > capacity) {
                size_t wanted = capacity == 0 ? 4096 : capacity;
                while (wanted < bytes->size + keep) wanted *= 2;
                unsigned char* grown = static_cast<unsigned char*>(realloc(bytes->data, wanted));
                if (grown == nullptr) {
                    snprintf(error, 256, "out of memory reading %s", path);
                    ok = 0;
                    break;
                }
                bytes->data = grown;
                capacity = wanted;
            }
            memcpy(bytes->data + bytes->size, chunk, keep);
            bytes->size += keep;
        }
        *total += got;
    }
    if (ok && ferror(file)) {
        snprintf(error, 256, "cannot read %s", path);
        ok = 0;
    }
    if (file != stdin) fclose(file);
    return ok;
}

// ---- Shared output pieces ---------------------------------------------------

void AppendHex(Text* out, const unsigned char* bytes, size_t size, const char* separator) {
    for (size_t i = 0; i < size; ++i) {
        out->Format("%s%02X", i == 0 ? "" : separator, bytes[i]);
    }
}

// "自动换行 = 开 (setting 3, option 1)"
void AppendSettingText(Text* out, int row, int option) {
    AppendUtf8(out, SettingRowNames[row]);
    out->Append(" = ");
    AppendUtf8(out, Label(row, option));
    out->Format(" (setting %d, option %d)", row, option);
}

// "setting":3,"name":"自动换行","english":"auto-wrap","code":9,"option":1,"label":"开"
void AppendSettingJson(Text* out, int row, int option) {
    Text utf8;
    out->Format("\"setting\":%d,\"name\":", row);
    ToUtf8(SettingRowNames[row], &utf8);
    AppendJsonString(out, utf8.c_str());
    out->Append(",\"english\":");
    AppendJsonString(out, kEnglishRowNames[row]);
    out->Format(",\"code\":%d,\"option\":%d,\"label\":", SettingTable[row].code, option);
    ToUtf8(Label(row, option), &utf8);
    AppendJsonString(out, utf8.c_str());
}

// ---- settings -----------------------------------------------------------------

int CommandSettings(Context* context) {
    if (int code = CheckOptions(context, 0)) return code;
    if (context->line.positionalCount != 0)
        return UsageError(context, "settings takes no argument%s", "");
    Text out;
    if (context->line.json) out.Append("{\"settings\":[");
    for (int row = 1; row < kSettingRows; ++row) {
        const SettingRow& setting = SettingTable[row];
        if (context->line.json) {
            Text utf8;
            out.Format("%s{\"setting\":%d,\"name\":", row == 1 ? "" : ",", row);
            ToUtf8(SettingRowNames[row], &utf8);
            AppendJsonString(&out, utf8.c_str());
            out.Append(",\"english\":");
            AppendJsonString(&out, kEnglishRowNames[row]);
            out.Format(",\"code\":%d,\"default\":%d,\"options\":[", setting.code,
                       setting.defaultIndex);
            for (int option = 0; option < setting.optionCount; ++option) {
                if (option > 0) out.AppendChar(',');
                ToUtf8(Label(row, option), &utf8);
                AppendJsonString(&out, utf8.c_str());
            }
            out.Append("]}");
        } else {
            out.Format("%d ", row);
            AppendUtf8(&out, SettingRowNames[row]);
            out.Format(" (%s, code %d)\n", kEnglishRowNames[row], setting.code);
            for (int option = 0; option < setting.optionCount; ++option) {
                out.Format("    %2d  ", option);
                AppendUtf8(&out, Label(row, option));
                out.Append(option == setting.defaultIndex ? "  (default)\n" : "\n");
            }
        }
    }
    if (context->line.json) out.Append("]}\n");
    Write(context->out, out.c_str());
    return kExitOk;
}

// ---- show ---------------------------------------------------------------------

int CommandShow(Context* context) {
    if (int code = CheckOptions(context, 0)) return code;
    if (context->line.positionalCount != 1) return UsageError(context, "show wants one FILE%s", "");
    const char* path = context->line.positional[0];
    Bytes bytes;
    size_t total = 0;
    char error[256];
    if (!ReadAll(path, kSettingsBlockBytes, &bytes, &total, error)) {
        Print(context->err, "tavoctl: %s\n", error);
        return kExitBadInput;
    }
    SettingsBlock block;
    DecodeSettingsBlock(bytes.data, bytes.size, &block);

    Text out;
    if (context->line.json) {
        out.Append("{\"file\":");
        AppendJsonString(&out, path);
        out.Format(",\"size\":%lu,\"settings\":[", static_cast<unsigned long>(total));
    } else {
        out.Format("%s: %lu bytes", path, static_cast<unsigned long>(total));
        if (total < kSettingsBlockBytes) {
            out.Format(" (shorter than %d: values from byte %lu on read as 0)", kSettingsBlockBytes,
                       static_cast<unsigned long>(total));
        } else if (total > kSettingsBlockBytes) {
            out.Format(" (bytes from %d on are ignored)", kSettingsBlockBytes);
        }
        out.AppendChar('\n');
    }
    int outOfRange = 0;
    for (int row = 1; row < kSettingRows; ++row) {
        const SettingRow& setting = SettingTable[row];
        int32_t stored = block.values[setting.code];
        int option = PresetOptionIndex(row, block);
        bool inRange = stored >= 0 && stored < setting.optionCount;
        if (!inRange) ++outOfRange;
        if (context->line.json) {
            out.Append(row == 1 ? "{" : ",{");
            AppendSettingJson(&out, row, option);
            out.Format(",\"stored\":%ld,\"in_range\":%s,\"default\":%d}", long(stored),
                       inRange ? "true" : "false", setting.defaultIndex);
        } else {
            out.Format("  %d ", row);
            AppendUtf8(&out, SettingRowNames[row]);
            out.Append(" = ");
            AppendUtf8(&out, Label(row, option));
            if (inRange) {
                out.Format("  (stored %ld)\n", long(stored));
            } else {
                out.Format("  (stored %ld is out of range 0..%d: the tool shows the default)\n",
                           long(stored), setting.optionCount - 1);
            }
        }
    }
    if (context->line.json) {
        out.Format("],\"out_of_range\":%d}\n", outOfRange);
    } else if (outOfRange > 0) {
        out.Format("%d stored value%s out of range\n", outOfRange, outOfRange == 1 ? "" : "s");
    }
    Write(context->out, out.c_str());
    return kExitOk;
}

// ---- encode -------------------------------------------------------------------

struct SettingChoice {
    int row;
    int option;
};

// SETTING=OPTION into a choice; a usage error otherwise.
int ParseChoice(Context* context, const char* setting, const char* option, SettingChoice* choice) {
    choice->row = FindSettingRow(setting);
    if (choice->row < 0) {
        return UsageError(context, "unknown setting '%s' (see 'tavoctl settings')", setting);
    }
    choice->option = FindOption(choice->row, option);
    if (choice->option < 0) {
        Text message;
        message.Format("'%s' is not an option of ", option);
        AppendUtf8(&message, SettingRowNames[choice->row]);
        message.Format(" (%s): choose one of ", kEnglishRowNames[choice->row]);
        for (int i = 0; i < SettingTable[choice->row].optionCount; ++i) {
            if (i > 0) message.Append(", ");
            AppendUtf8(&message, Label(choice->row, i));
        }
        return UsageError(context, "%s", message.c_str());
    }
    return kExitOk;
}

int ParsePair(Context* context, const char* pair, SettingChoice* choice) {
    const char* equals = strchr(pair, '=');
    if (equals == nullptr) return UsageError(context, "'%s' is not SETTING=OPTION", pair);
    Text setting;
    setting.Append(pair, size_t(equals - pair));
    return ParseChoice(context, setting.c_str(), equals + 1, choice);
}

int CommandEncode(Context* context) {
    if (int code = CheckOptions(context, kOptOutput)) return code;
    CommandLine& line = context->line;
    SettingChoice choices[kMaxArguments];
    size_t count = 0;
    if (line.positionalCount == 2 && strchr(line.positional[0], '=') == nullptr) {
        if (int code = ParseChoice(context, line.positional[0], line.positional[1], &choices[0])) {
            return code;
        }
        count = 1;
    } else if (line.positionalCount > 0) {
        for (size_t i = 0; i < line.positionalCount; ++i) {
            if (int code = ParsePair(context, line.positional[i], &choices[count++])) return code;
        }
    } else {
        return UsageError(context, "encode wants SETTING OPTION or SETTING=OPTION...%s", "");
    }

    Text out;
    Text raw;
    if (line.json) out.Append("{\"commands\":[");
    for (size_t i = 0; i < count; ++i) {
        unsigned char command[kSettingCommandBytes];
        BuildSettingCommand(choices[i].row, choices[i].option, command);
        raw.Append(reinterpret_cast<const char*>(command), sizeof command);
        if (line.json) {
            out.Append(i == 0 ? "{" : ",{");
            AppendSettingJson(&out, choices[i].row, choices[i].option);
            out.Append(",\"hex\":\"");
            AppendHex(&out, command, sizeof command, "");
            out.Append("\"}");
        } else {
            AppendSettingText(&out, choices[i].row, choices[i].option);
            out.AppendChar('\n');
            AppendHex(&out, command, sizeof command, " ");
            out.AppendChar('\n');
        }
    }
    if (line.json) out.Append("]}\n");
    if (line.output != nullptr) {
        FILE* file = OpenFile(line.output, "wb");
        bool written = file != nullptr && fwrite(raw.c_str(), 1, raw.size(), file) == raw.size();
        if (file != nullptr && fclose(file) != 0) written = false;
        if (!written) {
            Print(context->err, "tavoctl: cannot write %s: %s\n", line.output, strerror(errno));
            return kExitBadInput;
        }
    }
    Write(context->out, out.c_str());
    return kExitOk;
}

// ---- decode -------------------------------------------------------------------

enum { kDecodeLimit = 64 * 1024 * 1024 };

void FlushStray(Context* context, Text* out, const unsigned char* bytes, size_t start, size_t end,
                bool* firstStray) {
    if (end == start) return;
    size_t length = end - start;
    size_t shown = length < 32 ? length : 32;
    if (context->line.json) {
        out->Format("%s{\"offset\":%lu,\"length\":%lu,\"hex\":\"", *firstStray ? "" : ",",
                    static_cast<unsigned long>(start), static_cast<unsigned long>(length));
        AppendHex(out, bytes + start, length, "");
        out->Append("\"}");
    } else {
        out->Format("offset %lu: %lu stray byte%s: ", static_cast<unsigned long>(start),
                    static_cast<unsigned long>(length), length == 1 ? "" : "s");
        AppendHex(out, bytes + start, shown, " ");
        out->Append(shown < length ? " ...\n" : "\n");
    }
    *firstStray = false;
}

int CommandDecode(Context* context) {
    if (int code = CheckOptions(context, 0)) return code;
    if (context->line.positionalCount != 1)
        return UsageError(context, "decode wants one FILE or -%s", "");
    const char* path = context->line.positional[0];
    Bytes bytes;
    size_t total = 0;
    char error[256];
    if (!ReadAll(path, kDecodeLimit, &bytes, &total, error)) {
        Print(context->err, "tavoctl: %s\n", error);
        return kExitBadInput;
    }
    if (total > bytes.size) {
        Print(context->err, "tavoctl: %s is larger than %d bytes\n", path, kDecodeLimit);
        return kExitBadInput;
    }

    // Commands as JSON objects and stray runs are gathered apart; text output
    // keeps them in stream order.
    Text out, commandsJson, strayJson;
    bool firstCommand = true, firstStray = true;
    int commands = 0, bad = 0;
    size_t strayBytes = 0, strayStart = 0;
    size_t i = 0;
    while (i < bytes.size) {
        DecodedCommand decoded;
        if (DecodeSettingCommand(bytes.data + i, bytes.size - i, &decoded) == 0) {
            ++i;
            continue;
        }
        FlushStray(context, context->line.json ? &strayJson : &out, bytes.data, strayStart, i,
                   &firstStray);
        strayBytes += i - strayStart;
        const unsigned char* command = bytes.data + i;
        int row = decoded.row;
        bool known = row >= 0;
        bool inRange = known && decoded.optionIndex >= 0 &&
                       decoded.optionIndex < SettingTable[row].optionCount;
        unsigned char expectedCheck =
            static_cast<unsigned char>(command[4] ^ command[2] ^ command[3] ^ 0xA2);
        bool good = decoded.checkOk && decoded.tagOk && inRange;
        if (!good) ++bad;
        ++commands;
        if (context->line.json) {
            commandsJson.Format(
                "%s{\"offset\":%lu,\"code\":%d,\"option\":%d,\"setting\":", firstCommand ? "" : ",",
                static_cast<unsigned long>(i), decoded.code, decoded.optionIndex);
            if (known) {
                Text utf8;
                commandsJson.Format("%d,\"name\":", row);
                ToUtf8(SettingRowNames[row], &utf8);
                AppendJsonString(&commandsJson, utf8.c_str());
                commandsJson.Append(",\"english\":");
                AppendJsonString(&commandsJson, kEnglishRowNames[row]);
                commandsJson.Append(",\"label\":");
                if (inRange) {
                    ToUtf8(Label(row, decoded.optionIndex), &utf8);
                    AppendJsonString(&commandsJson, utf8.c_str());
                } else {
                    commandsJson.Append("null");
                }
            } else {
                commandsJson.Append("null,\"name\":null,\"english\":null,\"label\":null");
            }
            commandsJson.Format(",\"in_range\":%s,\"check_ok\":%s,\"tag_ok\":%s,\"hex\":\"",
                                inRange ? "true" : "false", decoded.checkOk ? "true" : "false",
                                decoded.tagOk ? "true" : "false");
            AppendHex(&commandsJson, command, kSettingCommandBytes, "");
            commandsJson.Append("\"}");
        } else {
            out.Format("offset %lu: ", static_cast<unsigned long>(i));
            if (inRange) {
                AppendSettingText(&out, row, decoded.optionIndex);
            } else if (known && row == 0) {
                out.Format("setting code %d (no list in the tool), option %d", decoded.code,
                           decoded.optionIndex);
            } else if (known) {
                AppendUtf8(&out, SettingRowNames[row]);
                out.Format(" (setting %d): option %d is out of range 0..%d", row,
                           decoded.optionIndex, SettingTable[row].optionCount - 1);
            } else {
                out.Format("unknown setting code %d, option %d", decoded.code, decoded.optionIndex);
            }
            if (!decoded.checkOk) {
                out.Format("; check byte %02X is wrong, expected %02X", command[5], expectedCheck);
            }
            if (!decoded.tagOk) {
                out.Append("; tag ");
                AppendHex(&out, command + 8, 4, " ");
                out.Format(" is not %s", CommandTag);
            }
            out.AppendChar('\n');
        }
        firstCommand = false;
        i += kSettingCommandBytes;
        strayStart = i;
    }
    FlushStray(context, context->line.json ? &strayJson : &out, bytes.data, strayStart, bytes.size,
               &firstStray);
    strayBytes += bytes.size - strayStart;

    bool ok = commands > 0 && bad == 0 && strayBytes == 0;
    if (context->line.json) {
        out.Append("{\"source\":");
        AppendJsonString(&out, path);
        out.Format(
            ",\"size\":%lu,\"commands\":[%s],\"stray\":[%s],\"bad_commands\":%d,"
            "\"stray_bytes\":%lu,\"ok\":%s}\n",
            static_cast<unsigned long>(bytes.size), commandsJson.c_str(), strayJson.c_str(), bad,
            static_cast<unsigned long>(strayBytes), ok ? "true" : "false");
    } else {
        out.Format("%d command%s", commands, commands == 1 ? "" : "s");
        if (bad > 0) out.Format(", %d bad", bad);
        if (strayBytes > 0)
            out.Format(", %lu stray byte%s", static_cast<unsigned long>(strayBytes),
                       strayBytes == 1 ? "" : "s");
        out.Append(bytes.size == 0 ? " (the input is empty)\n" : "\n");
    }
    Write(context->out, out.c_str());
    return ok ? kExitOk : kExitBadInput;
}

// ---- list and apply: the spooler --------------------------------------------

const char* StateWord(int state) {
    switch (state) {
        case kQueueOffline:
            return "offline";
        case kQueuePaused:
            return "paused";
        default:
            return "online";
    }
}

bool NamedOnLine(const CommandLine& line, const char* name) {
    for (size_t i = 0; i < line.nameCount; ++i) {
        if (strcmp(line.names[i], name) == 0) return true;
    }
    return false;
}

// The spooler belongs to its factory, which keeps it for the process's life
// (the Windows build does without operator new and the exception runtime).
class SpoolerOwner {
  public:
    explicit SpoolerOwner(Spooler* spooler) : spooler_(spooler) {}
    Spooler* get() const { return spooler_; }

  private:
    Spooler* spooler_;
};

// Lists the queues; on failure reports and returns the exit code.
int LoadQueues(Context* context, SpoolerOwner* owner, QueueList* queues) {
    char error[512] = "";
    int status = owner->get()->ListQueues(queues, error);
    if (status == kSpoolOk) return kExitOk;
    if (status == kSpoolUnreachable) {
        Print(context->err, "tavoctl: cannot reach the %s%s%s\n", owner->get()->Name(),
              error[0] != '\0' ? ": " : "", error);
        return kExitUnreachable;
    }
    Print(context->err, "tavoctl: listing the printers failed%s%s\n", error[0] != '\0' ? ": " : "",
          error);
    return kExitUnreachable;
}

// Loads the model list and opens the spooler; null with *exitCode set when
// that fails.
Spooler* OpenSpooler(Context* context, int* exitCode) {
    const CommandLine& line = context->line;
    char error[512] = "";
    Text defaultPath;
    const char* path = line.inf;
    if (path == nullptr) {
        DefaultInfPath(&defaultPath);
        path = defaultPath.c_str();
    }
    if (!LoadModelList(path, &context->models, error)) {
        if (line.inf != nullptr) {
            Print(context->err, "tavoctl: %s\n", error);
            *exitCode = kExitBadInput;
            return nullptr;
        }
        // Without the package's INF only --model and -p can name printers.
        if (line.model == nullptr && line.nameCount == 0) {
            Print(context->err,
                  "tavoctl: no model list at %s (give --inf PATH): no printer is recognised by "
                  "its model\n",
                  path[0] != '\0' ? path : "data/oemprnt.inf beside tavoctl");
        }
    }
    SpoolerOptions options;
    options.server = line.server;
    options.modelList = context->models.list;
    options.modelCapacity = context->models.capacity;
    options.model = line.model;
    options.names = line.names;
    options.nameCount = line.nameCount;
    error[0] = '\0';
    Spooler* spooler = context->factory(options, error);
    if (spooler == nullptr) {
        Print(context->err, "tavoctl: %s\n", error[0] != '\0' ? error : "no spooler");
        *exitCode = kExitUnreachable;
    }
    return spooler;
}

int CommandList(Context* context) {
    if (int code =
            CheckOptions(context, kOptAllQueues | kOptInf | kOptModel | kOptPrinter | kOptServer)) {
        return code;
    }
    if (context->line.positionalCount != 0)
        return UsageError(context, "list takes no argument%s", "");
    int openCode = kExitOk;
    SpoolerOwner owner(OpenSpooler(context, &openCode));
    if (owner.get() == nullptr) return openCode;
    QueueList queues;
    if (int code = LoadQueues(context, &owner, &queues)) return code;

    bool every = (context->line.given & kOptAllQueues) != 0;
    Text out;
    int supported = 0;
    if (context->line.json) out.Append("{\"printers\":[");
    bool first = true;
    for (size_t i = 0; i < queues.count; ++i) {
        QueueInfo& queue = queues.items[i];
        if (owner.get()->NamedQueueIsOurs() && NamedOnLine(context->line, queue.name)) {
            queue.supported = 1;
        }
        if (queue.supported) ++supported;
        if (!queue.supported && !every) continue;
        if (context->line.json) {
            out.Append(first ? "{\"name\":" : ",{\"name\":");
            AppendJsonString(&out, queue.name);
            out.Append(",\"model\":");
            AppendJsonString(&out, queue.model);
            out.Format(",\"state\":\"%s\",\"supported\":%s}", StateWord(queue.state),
                       queue.supported ? "true" : "false");
        } else {
            out.Format("%-8s %s%s  (%s)\n", StateWord(queue.state), queue.name,
                       every && !queue.supported ? "  [not supported]" : "", queue.model);
        }
        first = false;
    }
    if (context->line.json) out.Append("]}\n");
    Write(context->out, out.c_str());
    // Names given with -p that no queue has.
    int missing = 0;
    for (size_t n = 0; n < context->line.nameCount; ++n) {
        bool found = false;
        for (size_t i = 0; i < queues.count; ++i)
            found |= strcmp(queues.items[i].name, context->line.names[n]) == 0;
        if (!found) {
            Print(context->err, "tavoctl: no printer named '%s'\n", context->line.names[n]);
            ++missing;
        }
    }
    if (supported == 0 && missing == 0)
        Write(context->err, "tavoctl: no supported printer found\n");
    return supported == 0 || missing > 0 ? kExitNoPrinter : kExitOk;
}

// ---- apply --------------------------------------------------------------------

const char* OutcomeWord(int outcome) {
    switch (outcome) {
        case kJobDelivered:
            return "delivered";
        case kJobQueued:
            return "queued";
        case kJobRefused:
            return "refused";
        case kJobFailed:
            return "failed";
        case kJobNoPrinter:
            return "no such printer";
        case kJobUnreachable:
            return "spooler unreachable";
        default:
            return "not sent";
    }
}

// One printer's part of the report.
struct Target {
    const char* name;
    const QueueInfo* queue;  // null when the spooler has no such queue
    const char* problem;     // why nothing is sent, or null
    int exitCode;            // what this printer adds to the exit code
};

int ApplyToTarget(Context* context, Spooler* spooler, Target* target, const SettingChoice* choices,
                  size_t count, bool dryRun, Text* out, bool firstTarget) {
    const CommandLine& line = context->line;
    if (line.json) {
        out->Append(firstTarget ? "{\"printer\":" : ",{\"printer\":");
        AppendJsonString(out, target->name);
        out->Format(",\"state\":%s%s%s,\"commands\":[", target->queue ? "\"" : "",
                    target->queue ? StateWord(target->queue->state) : "null",
                    target->queue ? "\"" : "");
    }
    int delivered = 0;
    const char* stopReason = target->problem;
    for (size_t i = 0; i < count; ++i) {
        unsigned char command[kSettingCommandBytes];
        BuildSettingCommand(choices[i].row, choices[i].option, command);
        JobResult result;
        memset(&result, 0, sizeof result);
        const char* word;
        if (stopReason != nullptr) {
            word = "not sent";
        } else if (dryRun) {
            word = "would send";
        } else {
            spooler->SendJob(target->name, command, sizeof command, line.timeoutMs, &result);
            word = OutcomeWord(result.outcome);
            if (result.outcome == kJobDelivered) {
                ++delivered;
            } else {
                stopReason = "an earlier command was not delivered";
                int code = result.outcome == kJobUnreachable ? kExitUnreachable
                           : result.outcome == kJobNoPrinter ? kExitNoPrinter
                                                             : kExitNotDelivered;
                if (code > target->exitCode) target->exitCode = code;
            }
        }
        if (line.json) {
            out->Append(i == 0 ? "{" : ",{");
            AppendSettingJson(out, choices[i].row, choices[i].option);
            out->Append(",\"hex\":\"");
            AppendHex(out, command, sizeof command, "");
            out->Append("\",\"outcome\":");
            AppendJsonString(out, word);
            out->Format(",\"job\":%d,\"detail\":", result.jobId);
            const char* detail = result.detail;
            if (detail[0] == '\0' && word[0] == 'n' && stopReason != nullptr) detail = stopReason;
            AppendJsonString(out, detail);
            out->AppendChar('}');
        } else {
            out->Format("%s: ", target->name);
            AppendSettingText(out, choices[i].row, choices[i].option);
            out->Append(": ");
            out->Append(word);
            if (dryRun) {
                out->Append(" ");
                AppendHex(out, command, sizeof command, " ");
            } else if (result.jobId > 0) {
                out->Format(" (job %d)", result.jobId);
            }
            if (result.outcome == kJobQueued && !dryRun && word[0] == 'q') {
                out->Format(": still in the queue after %u.%03u s; it stays queued",
                            line.timeoutMs / 1000, line.timeoutMs % 1000);
            }
            if (result.detail[0] != '\0') out->Format(": %s", result.detail);
            out->AppendChar('\n');
        }
    }
    if (target->problem != nullptr && !line.json) {
        out->Format("%s: %s\n", target->name, target->problem);
    }
    bool allDelivered = dryRun ? target->problem == nullptr : delivered == int(count);
    if (line.json) {
        out->Append("],\"problem\":");
        if (target->problem != nullptr) {
            AppendJsonString(out, target->problem);
        } else {
            out->Append("null");
        }
        out->Format(",\"delivered\":%d,\"ok\":%s}", delivered, allDelivered ? "true" : "false");
    }
    return allDelivered ? 1 : 0;
}

int CommandApply(Context* context) {
    CommandLine& line = context->line;
    if (int code = CheckOptions(context, kOptInf | kOptModel | kOptPrinter | kOptServer | kOptAll |
                                             kOptDryRun | kOptTimeout)) {
        return code;
    }
    bool all = (line.given & kOptAll) != 0;
    if (all == (line.nameCount > 0)) {
        return UsageError(context, "apply wants either -p NAME or --all%s", "");
    }
    // The settings: a file's six first, then the pairs in order.
    SettingChoice choices[kMaxArguments + kSettingRows];
    size_t count = 0;
    const char* file = nullptr;
    for (size_t i = 0; i < line.positionalCount; ++i) {
        const char* arg = line.positional[i];
        const char* equals = strchr(arg, '=');
        Text setting;
        if (equals != nullptr) setting.Append(arg, size_t(equals - arg));
        if (equals == nullptr || FindSettingRow(setting.c_str()) < 0) {
            if (file != nullptr)
                return UsageError(context, "apply takes one settings file, not also '%s'", arg);
            file = arg;
        }
    }
    if (file != nullptr) {
        Bytes bytes;
        size_t total = 0;
        char error[256];
        if (!ReadAll(file, kSettingsBlockBytes, &bytes, &total, error)) {
            Print(context->err, "tavoctl: %s\n", error);
            return kExitBadInput;
        }
        SettingsBlock block;
        DecodeSettingsBlock(bytes.data, bytes.size, &block);
        for (int row = 1; row < kSettingRows; ++row) {
            int32_t stored = block.values[SettingTable[row].code];
            int option = PresetOptionIndex(row, block);
            if (stored != option) {
                Text message;
                AppendUtf8(&message, SettingRowNames[row]);
                message.Format(": stored value %ld is out of range; sending the default ",
                               long(stored));
                AppendUtf8(&message, Label(row, option));
                Print(context->err, "tavoctl: %s\n", message.c_str());
            }
            choices[count++] = {row, option};
        }
    }
    for (size_t i = 0; i < line.positionalCount; ++i) {
        if (line.positional[i] == file) continue;
        if (int code = ParsePair(context, line.positional[i], &choices[count++])) return code;
    }
    if (count == 0)
        return UsageError(context, "apply wants a settings FILE or SETTING=OPTION pairs%s", "");

    int openCode = kExitOk;
    SpoolerOwner owner(OpenSpooler(context, &openCode));
    if (owner.get() == nullptr) return openCode;
    QueueList queues;
    if (int code = LoadQueues(context, &owner, &queues)) return code;

    // The printers to send to, each with what stops it.
    size_t targetCapacity = all ? queues.count : line.nameCount;
    Target* targets = static_cast<Target*>(calloc(targetCapacity + 1, sizeof(Target)));
    if (targets == nullptr) {
        Write(context->err, "tavoctl: out of memory\n");
        return kExitNotDelivered;
    }
    size_t targetCount = 0;
    int exitCode = kExitOk;
    if (all) {
        for (size_t i = 0; i < queues.count; ++i) {
            const QueueInfo& queue = queues.items[i];
            if (!queue.supported) continue;
            Target& target = targets[targetCount++];
            target.name = queue.name;
            target.queue = &queue;
            // The tool's offline rule; other states are sent to and reported.
            if (queue.workOffline) target.problem = "offline: nothing sent";
        }
        if (targetCount == 0) {
            Write(context->err, "tavoctl: no supported printer found\n");
            exitCode = kExitNoPrinter;
        }
    } else {
        for (size_t n = 0; n < line.nameCount; ++n) {
            Target& target = targets[targetCount++];
            target.name = line.names[n];
            for (size_t i = 0; i < queues.count; ++i) {
                if (strcmp(queues.items[i].name, target.name) == 0) target.queue = &queues.items[i];
            }
            if (target.queue == nullptr) {
                target.problem = "no such printer: nothing sent";
                target.exitCode = kExitNoPrinter;
            } else if (!target.queue->supported && !owner.get()->NamedQueueIsOurs()) {
                target.problem =
                    "not a supported printer (its driver is not in the model list): nothing sent";
                target.exitCode = kExitNoPrinter;
            } else if (target.queue->workOffline) {
                target.problem = "offline: nothing sent";
            }
        }
    }

    bool dryRun = (line.given & kOptDryRun) != 0;
    Text out;
    if (line.json) out.Format("{\"dry_run\":%s,\"printers\":[", dryRun ? "true" : "false");
    int printersOk = 0;
    for (size_t t = 0; t < targetCount; ++t) {
        Target& target = targets[t];
        if (target.problem != nullptr && target.exitCode < kExitNotDelivered) {
            target.exitCode = kExitNotDelivered;
        }
        printersOk +=
            ApplyToTarget(context, owner.get(), &target, choices, count, dryRun, &out, t == 0);
        // Printed as each printer is done, so a long run shows progress.
        if (!line.json) {
            Write(context->out, out.c_str());
            out.Clear();
        }
        if (target.exitCode > exitCode) exitCode = target.exitCode;
    }
    if (line.json) {
        out.Format("],\"printers_ok\":%d,\"printers_failed\":%d,\"exit_code\":%d}\n", printersOk,
                   int(targetCount) - printersOk, exitCode);
    } else if (targetCount > 0) {
        out.Format("%d of %d printer%s %s every command\n", printersOk, int(targetCount),
                   targetCount == 1 ? "" : "s", dryRun ? "would get" : "got");
    }
    Write(context->out, out.c_str());
    free(targets);
    return exitCode;
}

// ---- Dispatch -----------------------------------------------------------------

struct CommandEntry {
    const char* name;
    int (*run)(Context*);
    const char* help;
};
const CommandEntry kCommands[] = {
    {"list", CommandList, kListHelp},       {"show", CommandShow, kShowHelp},
    {"encode", CommandEncode, kEncodeHelp}, {"decode", CommandDecode, kDecodeHelp},
    {"apply", CommandApply, kApplyHelp},    {"settings", CommandSettings, kSettingsHelp},
};

}  // namespace

int RunTavoctl(int argc, const char* const* argv, Output* out, Output* err,
               SpoolerFactory factory) {
    Context context;
    context.out = out;
    context.err = err;
    context.factory = factory;
    if (int code = ParseCommandLine(&context, argc, argv)) return code;
    const CommandLine& line = context.line;
    if (line.command == nullptr) {
        if (line.help) {
            Write(out, kMainHelp);
            Write(out, kExitCodesHelp);
            return kExitOk;
        }
        Write(err, kMainHelp);
        Write(err, kExitCodesHelp);
        return kExitUsage;
    }
    for (const CommandEntry& entry : kCommands) {
        if (strcmp(entry.name, line.command) != 0) continue;
        if (line.help) {
            Write(out, entry.help);
            Write(out, kExitCodesHelp);
            return kExitOk;
        }
        return entry.run(&context);
    }
    const char* unknown = line.command;
    context.line.command = nullptr;
    return UsageError(&context, "unknown command '%s'", unknown);
}
