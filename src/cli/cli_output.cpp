#include "cli/cli_output.h"

#include "common/charset_posix.h"
#include "common/heap_text.h"

#include <cstdio>

const char* const msg_help =
    "Использование: tarvelon [ПАРАМЕТРЫ] КОМАНДА\n"
    "\n"
    "Баланс лицевого счёта и состояние подключения к сети провайдера.\n"
    "\n"
    "Команды:\n"
    "  status          адрес IPv4 и число отправленных и принятых байтов;\n"
    "                  за домашним роутером — внешний адрес подключения\n"
    "  balance         баланс лицевого счёта и сколько дней абонентской платы он покрывает\n"
    "  probe [УЗЕЛ]    внешний адрес, записанный роутером в эхо-запрос ICMP\n"
    "                  (по умолчанию узел сайта статистики)\n"
    "\n"
    "Параметры:\n"
    "  --settings ФАЙЛ  файл настроек (по умолчанию $XDG_CONFIG_HOME/tarvelon/Tarvelon.ini,\n"
    "                   иначе ~/.config/tarvelon/Tarvelon.ini)\n"
    "  --remember       balance: запомнить номер договора и пароль после успешного запроса\n"
    "  --no-probe       status: не узнавать внешний адрес\n"
    "  -h, --help       показать эту справку\n"
    "      --version    показать версию\n"
    "\n"
    "Пароль не хранится: в файле настроек остаётся только его хеш (права 0600).\n"
    "Чтобы начать заново, удалите файл настроек.\n"
    "\n"
    "Внешний адрес узнаётся через сырой сокет ICMP. Обычному пользователю нужно\n"
    "разрешение: sudo setcap cap_net_raw+ep \"$(command -v tarvelon)\"\n"
    "\n"
    "Коды завершения:\n"
    "  0   успех\n"
    "  1   неверный номер договора и/или пароль\n"
    "  2   ошибка соединения с сервером; probe: внешний адрес не получен\n"
    "  3   не удалось установить защищённое соединение\n"
    "  4   ввод отменён или нет терминала для ввода\n"
    "  5   the password cannot be converted to Windows-1251 on this system\n"
    "  64  неверный вызов\n";

const char* const msg_usage_hint = "справка: tarvelon --help";
const char* const msg_no_command = "не указана команда (status, balance или probe)";
const char* const msg_unknown_command = "неизвестная команда (нужна status, balance или probe)";
const char* const msg_unknown_option = "неизвестный параметр";
const char* const msg_extra_argument = "лишний аргумент";
const char* const msg_option_not_for_command = "параметр не подходит к этой команде";
const char* const msg_settings_needs_file = "после --settings укажите путь к файлу настроек";
const char* const msg_no_settings_home =
    "не задан каталог настроек: задайте HOME или XDG_CONFIG_HOME либо укажите --settings ФАЙЛ";
const char* const msg_not_stored_unreadable =
    "the contract number and password were not remembered: the settings file cannot be read, "
    "and replacing it would lose what it holds";
const char* const msg_not_stored_unrepresentable =
    "the contract number and password were not remembered: the settings file holds NUL bytes "
    "(UTF-16 text, perhaps), which this program cannot keep; it is left as it is";
const char* const msg_not_stored_write_failed =
    "the contract number and password were not remembered: the settings file cannot be written; "
    "choose another with --settings FILE";
const char* const msg_probe_failed =
    "внешний адрес не получен: нет ответа с записью маршрута или нет права на сырые сокеты "
    "(sudo setcap cap_net_raw+ep \"$(command -v tarvelon)\")";
const char* const msg_out_of_memory = "не хватает памяти";
const char* const msg_cancelled = "ввод отменён; баланс не запрошен";
const char* const msg_no_converter =
    "the password cannot be converted to Windows-1251, which its hash is made of: this system has no "
    "converter for that charset (glibc's gconv modules are missing); nothing was asked of the server";
const char* const msg_no_terminal =
    "нет терминала для ввода номера договора и пароля: один раз выполните "
    "«tarvelon balance --remember» в терминале, дальше данные возьмутся из файла настроек";

namespace {
void write_converted(FILE* stream, const char* utf8)
{
    char* text = utf8_to_locale(utf8);
    fputs(text != nullptr ? text : utf8, stream);
    free_text(text);
}
}  // namespace

void print_text(const char* utf8)
{
    write_converted(stdout, utf8);
    fflush(stdout);
}

void print_error_detail(const char* utf8, const char* detail)
{
    fputs("tarvelon: ", stderr);
    write_converted(stderr, utf8);
    if (detail != nullptr) {
        fprintf(stderr, ": %s", detail);
    }
    fputc('\n', stderr);
}

void print_error(const char* utf8)
{
    print_error_detail(utf8, nullptr);
}

void print_line(const char* text)
{
    printf("%s\n", text);
    fflush(stdout);
}
