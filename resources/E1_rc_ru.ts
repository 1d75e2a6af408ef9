<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>ChartWidget</name>
    <message>
        <source>Save as...</source>
        <translation>Сохранить как...</translation>
    </message>
    <message>
        <source>Save chart</source>
        <translation>Сохранение графика</translation>
    </message>
    <message>
        <source>The chart could not be saved to the file %1.</source>
        <translation>Не удалось сохранить график в файл %1.</translation>
    </message>
</context>
<context>
    <name>Device</name>
    <message>
        <source>More then 1 device found.</source>
        <translation>Обнаружено более 1го устройства.</translation>
    </message>
    <message>
        <source>No instrument is connected: the settings were not sent.</source>
        <translation>Прибор не подключен: настройки не отправлены.</translation>
    </message>
    <message>
        <source>A test is running: stop it before loading settings.</source>
        <translation>Идет измерение: остановите его перед загрузкой настроек.</translation>
    </message>
</context>
<context>
    <name>EventLog</name>
    <message>
        <source>measurement time</source>
        <translation>время измерения</translation>
    </message>
    <message>
        <source>sequence and inversion</source>
        <translation>последовательность и инверсия</translation>
    </message>
    <message>
        <source>transmit clock</source>
        <translation>синхронизация передатчика</translation>
    </message>
    <message>
        <source>line code</source>
        <translation>линейный код</translation>
    </message>
    <message>
        <source>error insertion</source>
        <translation>ввод ошибок</translation>
    </message>
    <message>
        <source>defect insertion</source>
        <translation>ввод дефектов</translation>
    </message>
    <message>
        <source>framing</source>
        <translation>цикловая структура</translation>
    </message>
    <message>
        <source>timeslots</source>
        <translation>канальные интервалы</translation>
    </message>
    <message>
        <source>jitter generation</source>
        <translation>генерация джиттера</translation>
    </message>
    <message>
        <source>Instrument connected</source>
        <translation>Прибор подключен</translation>
    </message>
    <message>
        <source>Instrument disconnected</source>
        <translation>Прибор отключен</translation>
    </message>
    <message>
        <source>Test started from the PC</source>
        <translation>Измерение запущено с ПК</translation>
    </message>
    <message>
        <source>Test started on the instrument</source>
        <translation>Измерение запущено на приборе</translation>
    </message>
    <message>
        <source>Test stopped from the PC</source>
        <translation>Измерение остановлено с ПК</translation>
    </message>
    <message>
        <source>Test stopped on the instrument</source>
        <translation>Измерение остановлено на приборе</translation>
    </message>
    <message>
        <source>Timed test finished</source>
        <translation>Измерение завершено по времени</translation>
    </message>
    <message>
        <source>Test found running on the instrument</source>
        <translation>На приборе идет измерение</translation>
    </message>
    <message>
        <source>Settings changed on the instrument</source>
        <translation>Настройки изменены на приборе</translation>
    </message>
    <message>
        <source>Settings changed: %1</source>
        <translation>Изменены настройки: %1</translation>
    </message>
    <message>
        <source>Alarm %1 raised</source>
        <translation>Авария %1</translation>
    </message>
    <message>
        <source>Alarm %1 cleared</source>
        <translation>Авария %1 снята</translation>
    </message>
    <message>
        <source>Date and time</source>
        <translation>Дата и время</translation>
    </message>
    <message>
        <source>Elapsed</source>
        <translation>Время от начала</translation>
    </message>
    <message>
        <source>Channel</source>
        <translation>Канал</translation>
    </message>
    <message>
        <source>Event</source>
        <translation>Событие</translation>
    </message>
</context>
<context>
    <name>EventLogForm</name>
    <message>
        <source>Event log</source>
        <translation>Журнал событий</translation>
    </message>
    <message>
        <source>Export to CSV...</source>
        <translation>Экспорт в CSV...</translation>
    </message>
    <message>
        <source>Older events dropped: %1 (the log keeps at most %2).</source>
        <translation>Удалено старых событий: %1 (журнал хранит не более %2).</translation>
    </message>
</context>
<context>
    <name>G821Form</name>
    <message>
        <source>Channel </source>
        <translation>Канал </translation>
    </message>
    <message>
        <source>Objective: &lt;= %1</source>
        <translation>Норматив: ≤ %1</translation>
    </message>
    <message>
        <source>Channel verdict: %1</source>
        <translation>Итог по каналу: %1</translation>
    </message>
    <message>
        <source>Allocation: %1 %</source>
        <translation>Доля норм: %1 %</translation>
    </message>
</context>
<context>
    <name>MainMenu</name>
    <message>
        <source>About</source>
        <translation>О программе</translation>
    </message>
    <message>
        <source>About Qt</source>
        <translation>О Qt</translation>
    </message>
    <message>
        <source>Actions</source>
        <translation>Действия</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Выход</translation>
    </message>
    <message>
        <source>Histograms</source>
        <translation>Гистограммы</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Справка</translation>
    </message>
    <message>
        <source>Reports</source>
        <translation>Отчеты</translation>
    </message>
    <message>
        <source>Table</source>
        <translation>Таблица</translation>
    </message>
    <message>
        <source>Windows</source>
        <translation>Окна</translation>
    </message>
    <message>
        <source>Save settings...</source>
        <translation>Сохранить настройки...</translation>
    </message>
    <message>
        <source>Load settings...</source>
        <translation>Загрузить настройки...</translation>
    </message>
    <message>
        <source>Objectives allocation...</source>
        <translation>Доля норм...</translation>
    </message>
    <message>
        <source>Export to CSV...</source>
        <translation>Экспорт в CSV...</translation>
    </message>
    <message>
        <source>Event log</source>
        <translation>Журнал событий</translation>
    </message>
</context>
<context>
    <name>MainWidget</name>
    <message>
        <source>Connected</source>
        <translation>Подключен</translation>
    </message>
    <message>
        <source>KELM E1/E10 Remote Control</source>
        <translation>Удаленное Управление КЕЛМ Е1/Е10</translation>
    </message>
    <message>
        <source>Instrument found but could not be opened (no access, or in use)</source>
        <translation>Прибор найден, но не открывается (нет доступа или занят)</translation>
    </message>
    <message>
        <source>Save settings</source>
        <translation>Сохранение настроек</translation>
    </message>
    <message>
        <source>Load settings</source>
        <translation>Загрузка настроек</translation>
    </message>
    <message>
        <source>Setup files (*.json)</source>
        <translation>Файлы настроек (*.json)</translation>
    </message>
    <message>
        <source>Setup files (*.json);;All files (*)</source>
        <translation>Файлы настроек (*.json);;Все файлы (*)</translation>
    </message>
    <message>
        <source>Objectives allocation</source>
        <translation>Доля норм</translation>
    </message>
    <message>
        <source>Share of the end-to-end objectives allotted to the tested path, %:</source>
        <translation>Доля сквозных норм, отводимая испытуемому тракту, %:</translation>
    </message>
    <message>
        <source>Export to CSV</source>
        <translation>Экспорт в CSV</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>Файлы CSV (*.csv)</translation>
    </message>
    <message>
        <source>These files already exist:
%1
Replace them?</source>
        <translation>Эти файлы уже существуют:
%1
Заменить их?</translation>
    </message>
    <message>
        <source>The CSV file could not be written:
%1</source>
        <translation>Не удалось записать файл CSV:
%1</translation>
    </message>
</context>
<context>
    <name>PDFCreator</name>
    <message>
        <source>Alarms statistics</source>
        <translation>Статистика аварий</translation>
    </message>
    <message>
        <source>Bin</source>
        <translation>Бин</translation>
    </message>
    <message>
        <source>Binary</source>
        <translation>Бинарные</translation>
    </message>
    <message>
        <source>CRC</source>
        <translation></translation>
    </message>
    <message>
        <source>CRC-4</source>
        <translation></translation>
    </message>
    <message>
        <source>Channel</source>
        <translation>Канал</translation>
    </message>
    <message>
        <source>Code</source>
        <translation>Код</translation>
    </message>
    <message>
        <source>Comments</source>
        <translation>Комментарии</translation>
    </message>
    <message>
        <source>Writing the report...</source>
        <translation>Создание отчета...</translation>
    </message>
    <message>
        <source>Verdicts</source>
        <translation>Соответствие нормам</translation>
    </message>
    <message>
        <source>Allocation, %</source>
        <translation>Доля норм, %</translation>
    </message>
    <message>
        <source>Overall</source>
        <translation>Итог</translation>
    </message>
    <message>
        <source>The report could not be written to:
%1</source>
        <translation>Не удалось записать отчет в файл:
%1</translation>
    </message>
    <message>
        <source>These files already exist:
%1
Replace them?</source>
        <translation>Эти файлы уже существуют:
%1
Заменить их?</translation>
    </message>
    <message>
        <source>Current</source>
        <translation>Текущее</translation>
    </message>
    <message>
        <source>Cycle</source>
        <translation>Цикл</translation>
    </message>
    <message>
        <source>DWORD 32bits</source>
        <translation>Дв. слово 32бита</translation>
    </message>
    <message>
        <source>E-bit</source>
        <translation>Е-бит</translation>
    </message>
    <message>
        <source>Errors</source>
        <translation>Ошибки</translation>
    </message>
    <message>
        <source>Jitter</source>
        <translation>Джиттер</translation>
    </message>
    <message>
        <source>Jitter HF</source>
        <translation>Джиттер ВЧ</translation>
    </message>
    <message>
        <source>Lost of cycle</source>
        <translation>Потеря цикла</translation>
    </message>
    <message>
        <source>No cycle</source>
        <translation>Нет цикла</translation>
    </message>
    <message>
        <source>No entry</source>
        <translation>Нет входа</translation>
    </message>
    <message>
        <source>Octet 55</source>
        <translation>Октет 55</translation>
    </message>
    <message>
        <source>PCP 2^11-1</source>
        <translation></translation>
    </message>
    <message>
        <source>PCP 2^15-1</source>
        <translation></translation>
    </message>
    <message>
        <source>PCP 2^20-1</source>
        <translation></translation>
    </message>
    <message>
        <source>PCP 2^7-1</source>
        <translation></translation>
    </message>
    <message>
        <source>PCP 2^9-1</source>
        <translation></translation>
    </message>
    <message>
        <source>Report creation finished.</source>
        <translation>Создание отчета завершено.</translation>
    </message>
    <message>
        <source>Report creation proccess is busy now. Please wait until it finish.</source>
        <translation>Процесс создания отчета сейчас занят. Пожалуйста подождите.</translation>
    </message>
    <message>
        <source>SIAS</source>
        <translation>СИАС</translation>
    </message>
    <message>
        <source>SIAS entry</source>
        <translation>SIAS вход</translation>
    </message>
    <message>
        <source>Sequence type</source>
        <translation>Тип последовательности</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Настройки</translation>
    </message>
    <message>
        <source>Test time</source>
        <translation>Время измерения</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Время</translation>
    </message>
    <message>
        <source>Transmit &amp; receive settings</source>
        <translation>Настройки приема и передачи</translation>
    </message>
    <message>
        <source>Word #1</source>
        <translation>Слово №1</translation>
    </message>
    <message>
        <source>Word #2</source>
        <translation>Слово №2</translation>
    </message>
    <message>
        <source>Word + Alt. word</source>
        <translation>Слово + Альт. слово</translation>
    </message>
    <message>
        <source>d</source>
        <translation>д</translation>
    </message>
    <message>
        <source>h</source>
        <translation>ч</translation>
    </message>
    <message>
        <source>m</source>
        <translation>м</translation>
    </message>
    <message>
        <source>Binary errors</source>
        <translation>Бинарные</translation>
    </message>
    <message>
        <source>Code errors</source>
        <translation>Кодовые</translation>
    </message>
    <message>
        <source>Frame errors</source>
        <translation>Цикловые</translation>
    </message>
    <message>
        <source>CRC-4 errors</source>
        <translation>CRC-4</translation>
    </message>
    <message>
        <source>E-bit errors</source>
        <translation>E-бит</translation>
    </message>
    <message>
        <source>page %1 of %2</source>
        <translation>стр. %1 из %2</translation>
    </message>
    <message>
        <source>Report</source>
        <translation>Отчет</translation>
    </message>
    <message>
        <source>Report made</source>
        <translation>Отчет создан</translation>
    </message>
    <message>
        <source>Instrument not connected</source>
        <translation>Прибор не подключен</translation>
    </message>
    <message>
        <source>Running</source>
        <translation>Идет</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Неизвестно</translation>
    </message>
    <message>
        <source>Timed test finished</source>
        <translation>Завершено по времени</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Остановлено</translation>
    </message>
    <message>
        <source>Instrument</source>
        <translation>Прибор</translation>
    </message>
    <message>
        <source>Last instrument</source>
        <translation>Последний подключенный прибор</translation>
    </message>
    <message>
        <source>firmware version %1</source>
        <translation>версия ПО %1</translation>
    </message>
    <message>
        <source>Test started</source>
        <translation>Начало измерения</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Длительность</translation>
    </message>
    <message>
        <source>Test state</source>
        <translation>Состояние измерения</translation>
    </message>
    <message>
        <source>Event log</source>
        <translation>Журнал событий</translation>
    </message>
    <message>
        <source>Earlier events not kept: %1</source>
        <translation>Более ранние события не сохранены: %1</translation>
    </message>
    <message>
        <source>No events</source>
        <translation>Событий нет</translation>
    </message>
</context>
<context>
    <name>ReceiveFrame</name>
    <message>
        <source>Hz</source>
        <translation>Гц</translation>
    </message>
    <message>
        <source>Receive</source>
        <translation>Прием</translation>
    </message>
</context>
<context>
    <name>ReportDialog</name>
    <message>
        <source>Save File</source>
        <translation>Сохранить файл</translation>
    </message>
</context>
<context>
    <name>ResultFrame</name>
    <message>
        <source>Results</source>
        <translation>Результаты</translation>
    </message>
</context>
<context>
    <name>SetupFile</name>
    <message>
        <source>Field "%1" is missing.</source>
        <translation>Поле "%1" отсутствует.</translation>
    </message>
    <message>
        <source>Field "%1": the value %2 is not allowed (allowed: %3).</source>
        <translation>Поле "%1": недопустимое значение %2 (допустимо: %3).</translation>
    </message>
    <message>
        <source>Field "%1": the value %2 is not allowed with a limited measurement time (allowed: %3).</source>
        <translation>Поле "%1": значение %2 недопустимо при ограниченном времени измерения (допустимо: %3).</translation>
    </message>
    <message>
        <source>Field "%1" (value %2) is not a setting of this program.</source>
        <translation>Поле "%1" (значение %2) не является настройкой этой программы.</translation>
    </message>
    <message>
        <source>The file is not a setup file: %1.</source>
        <translation>Файл не является файлом настроек: %1.</translation>
    </message>
    <message>
        <source>%1 at byte %2</source>
        <translation>%1 в байте %2</translation>
    </message>
    <message>
        <source>no JSON object</source>
        <translation>нет объекта JSON</translation>
    </message>
    <message>
        <source>an object</source>
        <translation>объект</translation>
    </message>
    <message>
        <source>a list of numbers %1</source>
        <translation>список чисел %1</translation>
    </message>
    <message>
        <source>The current settings cannot be saved. %1</source>
        <translation>Текущие настройки нельзя сохранить. %1</translation>
    </message>
    <message>
        <source>The file %1 cannot be written: %2</source>
        <translation>Не удалось записать файл %1: %2</translation>
    </message>
    <message>
        <source>The file %1 cannot be read: %2</source>
        <translation>Не удалось прочитать файл %1: %2</translation>
    </message>
    <message>
        <source>The file %1 is too large for a setup file.</source>
        <translation>Файл %1 слишком велик для файла настроек.</translation>
    </message>
</context>
<context>
    <name>TableForm</name>
    <message>
        <source>Export to CSV...</source>
        <translation>Экспорт в CSV...</translation>
    </message>
</context>
<context>
    <name>TransmissionFrame</name>
    <message>
        <source>Transmission</source>
        <translation>Передача</translation>
    </message>
</context>
<context>
    <name>Verdicts</name>
    <message>
        <source>Pass</source>
        <translation>Норма</translation>
    </message>
    <message>
        <source>Fail</source>
        <translation>Не норма</translation>
    </message>
    <message>
        <source>No data</source>
        <translation>Нет данных</translation>
    </message>
</context>
</TS>
