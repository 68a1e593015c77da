// The window's texts, byte for byte as the users know them (UTF-8).
#pragma once

namespace ombrel {

// The window's caption, labels and buttons.
inline constexpr char kCaption[] = "OmbrelLoader 2010 v1.1";
inline constexpr char kPortLabel[] = "Порт:";
inline constexpr char kFileLabel[] = "Файл:";
inline constexpr char kProgressLabel[] = "Индикатор:";
inline constexpr char kStatusLabel[] = "Состояние:";
inline constexpr char kLoadCaption[] = "Загрузить";         // while idle
inline constexpr char kCancelCaption[] = "Отмена загрузки"; // while a load runs
inline constexpr char kChooseFileCaption[] = "Выбрать файл...";

// Each port list entry is this followed by the port number.
inline constexpr char kPortEntryPrefix[] = "COM ";

// Title of every error box.
inline constexpr char kErrorTitle[] = "Ошибка";

// Status lines; the first word of kPortUnavailable is written in Cyrillic letters.
inline constexpr char kWaitingForReset[] = "Ожидание сброса устройства...";
inline constexpr char kPortUnavailable[] = "СОМ порт не доступен. Возможно он занят!";
inline constexpr char kCancelled[] = "Отменено пользователем.";
inline constexpr char kInLoader[] = "Вошли в загрузчик.";
inline constexpr char kNoFile[] = "Не указан файл для программирования устройства.";
inline constexpr char kBadFile[] = "Некорректный файл для программирования устройства.";
inline constexpr char kProgramming[] = "Идет программирование устройства...";
inline constexpr char kInterrupted[] = "Ошибка: прервано пользователем!";
inline constexpr char kNoAnswer[] = "Ошибка: нет ответа от устройства!";
inline constexpr char kLoadFailed[] = "Ошибка загрузки!";
inline constexpr char kSucceeded[] = "Программирование закончено успешно.";

// The lines of ombrel.log: two header lines, then one result line.
inline constexpr char kLogHeader[] = "OMBREL-LOADER";
inline constexpr char kLogStart[] = "Start load...";
inline constexpr char kLogOk[] = "Load status: OK";
inline constexpr char kLogUserCancel[] = "Load status: user cancel";
inline constexpr char kLogStatusPrefix[] = "Load status: ";

} // namespace ombrel
