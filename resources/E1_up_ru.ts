<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>MainWidget</name>
    <message>
        <source>KELM-E1 Updater</source>
        <translation>Программа обновления приборов КЕЛМ-Е1</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Файлы</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Открыть</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Статус</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Обновить</translation>
    </message>
    <message>
        <source>Select file</source>
        <translation>Выбор файла</translation>
    </message>
    <message>
        <source>KELM-E1x update file(*.kt2)</source>
        <translation>КЕЛМ-Е1х файл обновления(*.kt2)</translation>
    </message>
    <message>
        <source>KELM-E1x update file(*.kt3)</source>
        <translation>КЕЛМ-Е1х файл обновления(*.kt3)</translation>
    </message>
    <message>
        <source>Device connected.</source>
        <translation>Устройство подключено.</translation>
    </message>
    <message>
        <source>Device disconnected.</source>
        <translation>Устройство отключено.</translation>
    </message>
    <message>
        <source>Error on device opening.</source>
        <translation>Ошибка открытия устройства.</translation>
    </message>
    <message>
        <source>More then 1 device found.</source>
        <translation>Обнаружено более 1 устройства.</translation>
    </message>
    <message>
        <source>Critical error</source>
        <translation>Критическая ошибка</translation>
    </message>
    <message>
        <source>Couldn&apos;t send data to device</source>
        <translation>Невозможно отправить данные на устройство</translation>
    </message>
    <message>
        <source>Couldn&apos;t receive USB queue status</source>
        <translation>Невозможно получить статус USB очереди</translation>
    </message>
    <message>
        <source>Timeout on waiting packet</source>
        <translation>Превышено время ожидания пакета</translation>
    </message>
    <message>
        <source>Couldn&apos;t read data from device</source>
        <translation>Невозможно прочитать данные с устройства</translation>
    </message>
    <message>
        <source>The instrument broke the update off (reply 0x%1).</source>
        <translation>Прибор прервал обновление (ответ 0x%1).</translation>
    </message>
</context>
</TS>
