<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru_RU">
<context>
    <name>CSettingsSheet</name>
    <message>
        <source>Страница «%1» появится в следующей версии программы.</source>
        <translation>The page &quot;%1&quot; will come in a later version of the program.</translation>
    </message>
</context>
<context>
    <name>FileProblem</name>
    <message>
        <source>имя не похоже на имя файла эксперимента (ГГММДД-NNN-AAAAAA.adc или .txt)</source>
        <translation>the name is not that of an experiment file (YYMMDD-NNN-AAAAAA.adc or .txt)</translation>
    </message>
    <message>
        <source>это не файл .adc и не файл .txt</source>
        <translation>neither an .adc nor a .txt file</translation>
    </message>
    <message>
        <source>такого файла нет</source>
        <translation>there is no such file</translation>
    </message>
    <message>
        <source>файл не открывается</source>
        <translation>the file cannot be opened</translation>
    </message>
    <message>
        <source>текстовый файл эксперимента короче %1 байт</source>
        <translation>a text experiment file holds at least %1 bytes</translation>
    </message>
    <message>
        <source>файл короче заголовка (%1 байта)</source>
        <translation>shorter than the %1-byte header</translation>
    </message>
    <message>
        <source>заголовок не начинается с «%1»</source>
        <translation>the header does not begin with “%1”</translation>
    </message>
    <message>
        <source>число столбцов в заголовке (%1) вне пределов 0..%2</source>
        <translation>the header&apos;s column count (%1) is outside 0..%2</translation>
    </message>
    <message>
        <source>время последней записи — не целое число секунд в пределах семи суток</source>
        <translation>the last record&apos;s time is not a whole number of seconds up to seven days</translation>
    </message>
</context>
<context>
    <name>Pages</name>
    <message>
        <source>Показания АЦП</source>
        <translation>ADC readings</translation>
    </message>
    <message>
        <source>Статистика по приборам</source>
        <translation>Statistics by device</translation>
    </message>
    <message>
        <source>Показания АЦП в графической форме</source>
        <translation>ADC readings as a graph</translation>
    </message>
    <message>
        <source>Среднее UG0-9</source>
        <translation>Average UG0-9</translation>
    </message>
    <message>
        <source>Список графиков</source>
        <translation>Curve list</translation>
    </message>
    <message>
        <source>Настройки эксперимента</source>
        <translation>Experiment settings</translation>
    </message>
    <message>
        <source>Список приборов</source>
        <translation>Device list</translation>
    </message>
    <message>
        <source>Настройки</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>График среднее UG0-9</source>
        <translation>Average UG0-9 graph</translation>
    </message>
    <message>
        <source>Цвета графиков</source>
        <translation>Graph colours</translation>
    </message>
    <message>
        <source>Настройки основного графика</source>
        <translation>Main graph settings</translation>
    </message>
    <message>
        <source>Настройки таблиц</source>
        <translation>Table settings</translation>
    </message>
    <message>
        <source>Настройки порта №%1</source>
        <translation>Port %1 settings</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Текущее значение (Current)</source>
        <translation>Current value (Current)</translation>
    </message>
    <message>
        <source>Среднее по четным циклам (AverageE)</source>
        <translation>Average of even cycles (AverageE)</translation>
    </message>
    <message>
        <source>Среднее по нечетным циклам (AverageO)</source>
        <translation>Average of odd cycles (AverageO)</translation>
    </message>
    <message>
        <source>Среднее (Average)</source>
        <translation>Average (Average)</translation>
    </message>
    <message>
        <source>Минимальное значение (Min)</source>
        <translation>Minimum (Min)</translation>
    </message>
    <message>
        <source>Максимальное значение (Max)</source>
        <translation>Maximum (Max)</translation>
    </message>
    <message>
        <source>Максимум - минимум (Delta)</source>
        <translation>Maximum - minimum (Delta)</translation>
    </message>
    <message>
        <source>Ср. квадрат. отклонение (Sigma)</source>
        <translation>Standard deviation (Sigma)</translation>
    </message>
    <message>
        <source>Шум (Noise)</source>
        <translation>Noise (Noise)</translation>
    </message>
    <message>
        <source>ШумЧет (NoiseE)</source>
        <translation>Noise, even (NoiseE)</translation>
    </message>
    <message>
        <source>ШумНеч (NoiseO)</source>
        <translation>Noise, odd (NoiseO)</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CAboutDialog</name>
    <message>
        <source>О программе Dravmer</source>
        <translation>About Dravmer</translation>
    </message>
    <message>
        <source>&lt;b&gt;Dravmer&lt;/b&gt; версия %1</source>
        <translation>&lt;b&gt;Dravmer&lt;/b&gt; version %1</translation>
    </message>
    <message>
        <source>Испытания аналоговой части электромагнитных расходомеров.</source>
        <translation>Testing the analogue front end of electromagnetic flow meters.</translation>
    </message>
    <message>
        <source>Сервер обновлений</source>
        <translation>Update server</translation>
    </message>
    <message>
        <source>имя или адрес[:порт]</source>
        <translation>name or address[:port]</translation>
    </message>
    <message>
        <source>Сервер обновлений:</source>
        <translation>Update server:</translation>
    </message>
    <message>
        <source>Новая версия ищется на этом сервере при каждом запуске программы. Пусто — обновления не проверяются.</source>
        <translation>A new version is looked for on this server at every start of the program. Empty: updates are not checked.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Неверный адрес сервера «%1»: нужно имя или адрес, после двоеточия — порт от 1 до 65535.</source>
        <translation>Invalid server address &quot;%1&quot;: give a name or an address, and after a colon a port from 1 to 65535.</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CAllDevicesPage</name>
    <message>
        <source>Статистика</source>
        <translation>Statistics</translation>
    </message>
    <message>
        <source>Статистика по приборам</source>
        <translation>Statistics by device</translation>
    </message>
    <message>
        <source>Статистика:</source>
        <translation>Statistic:</translation>
    </message>
    <message>
        <source>Прибор</source>
        <translation>Device</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CArchiveCommand</name>
    <message>
        <source>Эксперимент сохранен в базе данных под номером %1.</source>
        <translation>The experiment was saved in the database as number %1.</translation>
    </message>
    <message>
        <source>Этот эксперимент уже есть в базе данных под номером %1; второй раз он не сохраняется.</source>
        <translation>This experiment is already in the database as number %1; it is not saved a second time.</translation>
    </message>
    <message>
        <source>Сохранение в базу данных отменено; в базу ничего не записано.</source>
        <translation>Saving to the database was cancelled; nothing was written to it.</translation>
    </message>
    <message>
        <source>Эксперимент идет: сохранить его в базе данных можно после остановки.</source>
        <translation>The experiment is running: it can be saved in the database once it is stopped.</translation>
    </message>
    <message>
        <source>Нечего сохранять: ни один прибор не получил ни одной записи.</source>
        <translation>Nothing to save: no device has a single record.</translation>
    </message>
    <message>
        <source>Эксперимент не сохранен в базе данных.
%1</source>
        <translation>The experiment was not saved in the database.
%1</translation>
    </message>
    <message>
        <source>
Файлы эксперимента не изменены.</source>
        <translation>
The experiment files are unchanged.</translation>
    </message>
    <message>
        <source>
Данные эксперимента остались в программе: сохраните их командой «Сохранить эксперимент в БД», когда база данных будет доступна.</source>
        <translation>
The experiment&apos;s data stay in the program: save them with the command &quot;Save experiment to database&quot; once the database is available.</translation>
    </message>
    <message>
        <source>Сохранение эксперимента в базе данных...</source>
        <translation>Saving the experiment in the database...</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Сохранить эксперимент в БД</source>
        <translation>Save experiment to database</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CArchiveList</name>
    <message>
        <source>База данных</source>
        <translation>Database</translation>
    </message>
    <message>
        <source>Фильтр по прибору</source>
        <translation>Device filter</translation>
    </message>
    <message>
        <source>все приборы</source>
        <translation>all devices</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>Эксперименты архива</source>
        <translation>Experiments in the archive</translation>
    </message>
    <message>
        <source>№ </source>
        <translation>No. </translation>
    </message>
    <message>
        <source>Дата - время           </source>
        <translation>Date - time            </translation>
    </message>
    <message>
        <source>№ эксп.</source>
        <translation>Exp. No.</translation>
    </message>
    <message>
        <source>Вр.экс.,м</source>
        <translation>Duration, min</translation>
    </message>
    <message>
        <source>Формат</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>К-во пр</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>Список приборов эксперимента</source>
        <translation>Devices of the experiment</translation>
    </message>
    <message>
        <source>Комментарий</source>
        <translation>Comment</translation>
    </message>
    <message>
        <source>База данных:</source>
        <translation>Database:</translation>
    </message>
    <message>
        <source>Прибор:</source>
        <translation>Device:</translation>
    </message>
    <message>
        <source>Номер прибора - число от 0 до 4294967295.</source>
        <translation>A device address is a number from 0 to 4294967295.</translation>
    </message>
    <message>
        <source>Чтение списка экспериментов...</source>
        <translation>Reading the list of experiments...</translation>
    </message>
    <message>
        <source>Архив не прочитан: %1</source>
        <translation>The archive was not read: %1</translation>
    </message>
    <message>
        <source>Стенд: %1</source>
        <translation>Bench: %1</translation>
    </message>
    <message>
        <source>Экспериментов в архиве: %1</source>
        <translation>Experiments in the archive: %1</translation>
    </message>
    <message>
        <source>Экспериментов с прибором %1: %2</source>
        <translation>Experiments with device %1: %2</translation>
    </message>
    <message>
        <source>Чтение эксперимента из архива...</source>
        <translation>Reading the experiment from the archive...</translation>
    </message>
    <message>
        <source>Загрузка отменена.</source>
        <translation>Loading was cancelled.</translation>
    </message>
    <message>
        <source>Эксперимент не прочитан из архива: %1</source>
        <translation>The experiment was not read from the archive: %1</translation>
    </message>
    <message>
        <source>В эксперименте нет приборов.</source>
        <translation>The experiment has no devices.</translation>
    </message>
    <message>
        <source>Загрузка невозможна, пока идет эксперимент или поиск приборов.</source>
        <translation>Nothing can be loaded while an experiment or a device search runs.</translation>
    </message>
    <message>
        <source>Прибор (%1/%2):   %3</source>
        <translation>Device (%1/%2):   %3</translation>
    </message>
    <message>
        <source>Загружено приборов: %1 из %2.</source>
        <translation>Devices loaded: %1 of %2.</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CColorButton</name>
    <message>
        <source>Цвет</source>
        <translation>Colour</translation>
    </message>
    <message>
        <source>Палитра</source>
        <translation>Palette</translation>
    </message>
    <message>
        <source>Другие цвета…</source>
        <translation>More colours…</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CColumnChooser</name>
    <message>
        <source>Выбор колонок таблицы</source>
        <translation>Table columns</translation>
    </message>
    <message>
        <source>Команда %1</source>
        <translation>Command %1</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CCommandTable</name>
    <message>
        <source>Настройки связи с прибором</source>
        <translation>Device link settings</translation>
    </message>
    <message>
        <source>Запустить эксперимент</source>
        <translation>Start experiment</translation>
    </message>
    <message>
        <source>Остановить эксперимент</source>
        <translation>Stop experiment</translation>
    </message>
    <message>
        <source>Записывать результаты эксперимента в файл</source>
        <translation>Write the experiment&apos;s results to file</translation>
    </message>
    <message>
        <source>Очистить статистику</source>
        <translation>Clear statistics</translation>
    </message>
    <message>
        <source>Копировать статистику в буфер обмена</source>
        <translation>Copy statistics to clipboard</translation>
    </message>
    <message>
        <source>Копировать график в буфер обмена</source>
        <translation>Copy graph to clipboard</translation>
    </message>
    <message>
        <source>Остановить обновление графика</source>
        <translation>Freeze graph</translation>
    </message>
    <message>
        <source>Настройки графика</source>
        <translation>Graph settings</translation>
    </message>
    <message>
        <source>Увеличить масштаб по вертикальной оси</source>
        <translation>Zoom in vertically</translation>
    </message>
    <message>
        <source>Уменьшить масштаб по вертикальной оси</source>
        <translation>Zoom out vertically</translation>
    </message>
    <message>
        <source>В начало графика</source>
        <translation>To the start of the graph</translation>
    </message>
    <message>
        <source>Сдвинуть влево</source>
        <translation>Shift left</translation>
    </message>
    <message>
        <source>Сдвинуть вправо</source>
        <translation>Shift right</translation>
    </message>
    <message>
        <source>Сдвинуть в конец</source>
        <translation>To the end of the graph</translation>
    </message>
    <message>
        <source>Сдвинуть вверх</source>
        <translation>Shift up</translation>
    </message>
    <message>
        <source>Сдвинуть вниз</source>
        <translation>Shift down</translation>
    </message>
    <message>
        <source>Увеличить масштаб по горизонтальной оси</source>
        <translation>Zoom in horizontally</translation>
    </message>
    <message>
        <source>Уменьшить масштаб по горизонтальной оси</source>
        <translation>Zoom out horizontally</translation>
    </message>
    <message>
        <source>Уместить график</source>
        <translation>Fit graph</translation>
    </message>
    <message>
        <source>Общий масштаб для всех графиков</source>
        <translation>Common scale for all curves</translation>
    </message>
    <message>
        <source>Уместить все графики с общим масштабом</source>
        <translation>Fit all curves to a common scale</translation>
    </message>
    <message>
        <source>Смещение выбранной области вперёд</source>
        <translation>Move the selection forward</translation>
    </message>
    <message>
        <source>Смещение выбранной области</source>
        <translation>Move the selection</translation>
    </message>
    <message>
        <source>Смещение выбранной области назад</source>
        <translation>Move the selection back</translation>
    </message>
    <message>
        <source>Настройки программы</source>
        <translation>Program settings</translation>
    </message>
    <message>
        <source>Редактировать комментарий к графику</source>
        <translation>Edit the graph comment</translation>
    </message>
    <message>
        <source>Загрузить оси</source>
        <translation>Load axes</translation>
    </message>
    <message>
        <source>Сохранить оси</source>
        <translation>Save axes</translation>
    </message>
    <message>
        <source>Загрузить оси №%1</source>
        <translation>Load axes set %1</translation>
    </message>
    <message>
        <source>Сохранить оси №%1</source>
        <translation>Save axes set %1</translation>
    </message>
    <message>
        <source>Сохранить эксперимент в БД</source>
        <translation>Save experiment to database</translation>
    </message>
    <message>
        <source>Экспорт в CSV…</source>
        <translation>Export to CSV…</translation>
    </message>
    <message>
        <source>Остановить эксперимент на 700 с</source>
        <translation>Stop the experiment at 700 s</translation>
    </message>
    <message>
        <source>Загрузить результаты эксперимента</source>
        <translation>Load experiment results</translation>
    </message>
    <message>
        <source>Расчет статистики</source>
        <translation>Compute statistics</translation>
    </message>
    <message>
        <source>Поиск приборов</source>
        <translation>Search for devices</translation>
    </message>
    <message>
        <source>Поиск ошибок GvErr!=0</source>
        <translation>Find GvErr!=0 errors</translation>
    </message>
    <message>
        <source>Сохранить параметры приборов</source>
        <translation>Save device parameters</translation>
    </message>
    <message>
        <source>Делать прокрутку окна &quot;Показания АЦП&quot;</source>
        <translation>Scroll the &quot;ADC readings&quot; page</translation>
    </message>
    <message>
        <source>Текущий прибор</source>
        <translation>Current device</translation>
    </message>
    <message>
        <source>all</source>
        <translation>all</translation>
    </message>
    <message>
        <source>Выбранный график</source>
        <translation>Selected curve</translation>
    </message>
    <message>
        <source>&amp;Эксперимент</source>
        <translation>&amp;Experiment</translation>
    </message>
    <message>
        <source>&amp;Приборы</source>
        <translation>&amp;Devices</translation>
    </message>
    <message>
        <source>&amp;График</source>
        <translation>&amp;Graph</translation>
    </message>
    <message>
        <source>&amp;Вид</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>&amp;Настройки</source>
        <translation>&amp;Settings</translation>
    </message>
    <message>
        <source>Сохранить график в файл…</source>
        <translation>Save graph to file…</translation>
    </message>
    <message>
        <source>О программе...</source>
        <translation>About...</translation>
    </message>
    <message>
        <source>&amp;Справка</source>
        <translation>&amp;Help</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CCsvExportDialog</name>
    <message>
        <source>Экспорт в CSV</source>
        <translation>Export to CSV</translation>
    </message>
    <message>
        <source>Эксперимент на экране: приборов %1, записей %2. Одна таблица: дата и время, адрес прибора, параметры.</source>
        <translation>The experiment on screen: %1 devices, %2 records. One table: date and time, device address, parameters.</translation>
    </message>
    <message>
        <source>Файл:</source>
        <translation>File:</translation>
    </message>
    <message>
        <source>Файл CSV</source>
        <translation>CSV file</translation>
    </message>
    <message>
        <source>Обзор...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>Таблицы CSV (*.csv)</source>
        <translation>CSV tables (*.csv)</translation>
    </message>
    <message>
        <source>Вторая строка заголовка: единицы измерения</source>
        <translation>Second header row: units</translation>
    </message>
    <message>
        <source>Для Excel: разделитель «;», десятичная запятая, метка UTF-8 в начале</source>
        <translation>For Excel: &quot;;&quot; separator, decimal comma, UTF-8 mark at the start</translation>
    </message>
    <message>
        <source>Только диапазон статистики: %1 - %2 с</source>
        <translation>Statistics range only: %1 - %2 s</translation>
    </message>
    <message>
        <source>Только диапазон статистики (диапазон не выбран)</source>
        <translation>Statistics range only (no range selected)</translation>
    </message>
    <message>
        <source>Экспорт</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Укажите файл, в который записать таблицу.</source>
        <translation>Give the file to write the table to.</translation>
    </message>
    <message>
        <source>Файл %1 уже есть; экспорт не заменяет файлы. Выберите другое имя.</source>
        <translation>The file %1 exists; the export does not replace files. Choose another name.</translation>
    </message>
    <message>
        <source>Папки %1 нет.</source>
        <translation>The folder %1 does not exist.</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CCurveListModel</name>
    <message>
        <source>Параметр</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>Размерность</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>№ ком</source>
        <translation>Cmd No.</translation>
    </message>
    <message>
        <source>Описание параметра</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>Прибор %1, %2: щелчок добавляет или убирает график</source>
        <translation>Device %1, %2: a click adds or removes the curve</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CCurveListPage</name>
    <message>
        <source>Список графиков</source>
        <translation>Curve list</translation>
    </message>
    <message>
        <source>Удалить все графики</source>
        <translation>Remove all curves</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CDebugWindow</name>
    <message>
        <source>Debug window</source>
        <translation>Debug window</translation>
    </message>
    <message>
        <source>Поиск ошибок</source>
        <translation>Error search</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CDeviceListModel</name>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>№</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>Адрес прибора</source>
        <translation>Device address</translation>
    </message>
    <message>
        <source>Порт</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Версия ПО</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source> Номер ПР </source>
        <translation> Transducer No. </translation>
    </message>
    <message>
        <source>Дата компиляции         </source>
        <translation>Build date               </translation>
    </message>
    <message>
        <source>Дата прошивки              </source>
        <translation>Flashing date              </translation>
    </message>
    <message>
        <source>Кол-во команд</source>
        <translation>Commands</translation>
    </message>
    <message>
        <source>Ошибок           </source>
        <translation>Errors                 </translation>
    </message>
    <message>
        <source>Ошибок с повторами</source>
        <translation>Errors with retries</translation>
    </message>
    <message>
        <source>Empty</source>
        <translation>Empty</translation>
    </message>
    <message>
        <source>CRC</source>
        <translation>CRC</translation>
    </message>
    <message>
        <source>Len</source>
        <translation>Len</translation>
    </message>
    <message>
        <source>TrRes08</source>
        <translation>TrRes08</translation>
    </message>
    <message>
        <source>TrRes09</source>
        <translation>TrRes09</translation>
    </message>
    <message>
        <source>TrRes0A</source>
        <translation>TrRes0A</translation>
    </message>
    <message>
        <source>TrRes0B</source>
        <translation>TrRes0B</translation>
    </message>
    <message>
        <source>TrRes0C</source>
        <translation>TrRes0C</translation>
    </message>
    <message>
        <source>NoLink</source>
        <translation>NoLink</translation>
    </message>
    <message>
        <source>CmdResult</source>
        <translation>CmdResult</translation>
    </message>
    <message>
        <source>TrDevAdr</source>
        <translation>TrDevAdr</translation>
    </message>
    <message>
        <source>TrCmd</source>
        <translation>TrCmd</translation>
    </message>
    <message>
        <source>DevAdr</source>
        <translation>DevAdr</translation>
    </message>
    <message>
        <source>Cmd</source>
        <translation>Cmd</translation>
    </message>
    <message>
        <source>ServerBusy</source>
        <translation>ServerBusy</translation>
    </message>
    <message>
        <source>InternalBusy</source>
        <translation>InternalBusy</translation>
    </message>
    <message>
        <source>Включить или выключить все приборы</source>
        <translation>Switch all devices on or off</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CDeviceListPage</name>
    <message>
        <source>Найти все приборы</source>
        <translation>Find all devices</translation>
    </message>
    <message>
        <source>Сброс статистики связи</source>
        <translation>Reset link statistics</translation>
    </message>
    <message>
        <source>Сохранить параметры</source>
        <translation>Save parameters</translation>
    </message>
    <message>
        <source>Log ошибок связи</source>
        <translation>Link error log</translation>
    </message>
    <message>
        <source>Ход поиска</source>
        <translation>Search progress</translation>
    </message>
    <message>
        <source>Список приборов</source>
        <translation>Device list</translation>
    </message>
    <message>
        <source>Поиск приборов________________________</source>
        <translation>Device search_________________________</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CExperimentSettingsPage</name>
    <message>
        <source>Настройки эксперимента</source>
        <translation>Experiment settings</translation>
    </message>
    <message>
        <source>Параметры</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>В таблицу</source>
        <translation>To table</translation>
    </message>
    <message>
        <source>В файл</source>
        <translation>To file</translation>
    </message>
    <message>
        <source>Формат чисел табл</source>
        <translation>Table decimals</translation>
    </message>
    <message>
        <source>Формат чисел файл</source>
        <translation>File decimals</translation>
    </message>
    <message>
        <source>Команда</source>
        <translation>Command</translation>
    </message>
    <message>
        <source>Описание параметра</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>Обновить колонки таблицы</source>
        <translation>Update table columns</translation>
    </message>
    <message>
        <source>Обновить колонки файла</source>
        <translation>Update file columns</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CExportCommand</name>
    <message>
        <source>Экспорт в CSV: %1</source>
        <translation>Export to CSV: %1</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Экспорт в CSV</source>
        <translation>Export to CSV</translation>
    </message>
    <message>
        <source>Записано в %1: %2 записей %3 приборов.</source>
        <translation>Written to %1: %2 records of %3 devices.</translation>
    </message>
    <message>
        <source>Нечего экспортировать: у приборов списка нет записей (в выбранном диапазоне).</source>
        <translation>Nothing to export: the devices of the list have no records (in the selected range).</translation>
    </message>
    <message>
        <source>Экспорт отменен; файл не создан.</source>
        <translation>Export cancelled; no file was made.</translation>
    </message>
    <message>
        <source>Таблица не записана: %1</source>
        <translation>The table was not written: %1</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CGraphColorsPage</name>
    <message>
        <source>ФОН</source>
        <translation>BACKGROUND</translation>
    </message>
    <message>
        <source>Сетка</source>
        <translation>Grid</translation>
    </message>
    <message>
        <source>Цвета графиков 1 - 50</source>
        <translation>Curve colours 1 - 50</translation>
    </message>
    <message>
        <source>График %1</source>
        <translation>Curve %1</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CGraphCommentDialog</name>
    <message>
        <source>Редактировать комментарий к графику</source>
        <translation>Edit the graph comment</translation>
    </message>
    <message>
        <source>Комментарий</source>
        <translation>Comment</translation>
    </message>
    <message>
        <source>Показывать комментарий</source>
        <translation>Show the comment</translation>
    </message>
    <message>
        <source>На экране нет эксперимента с файлами: комментарий останется только подписью графика, файл комментария не записывается.</source>
        <translation>No experiment with files is on screen: the comment stays only a caption of the graph, and no label file is written.</translation>
    </message>
    <message>
        <source>Комментарий эксперимента будет записан в файл:
%1</source>
        <translation>The experiment&apos;s comment will be written to the file:
%1</translation>
    </message>
    <message>
        <source>Сохранить</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Загрузить</source>
        <translation>Load</translation>
    </message>
    <message>
        <source>Сохранить текст в настройках</source>
        <translation>Keep the text in the settings</translation>
    </message>
    <message>
        <source>Загрузить текст из настроек</source>
        <translation>Take the text from the settings</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CGraphPage</name>
    <message>
        <source>Редактировать комментарий к графику</source>
        <translation>Edit the graph comment</translation>
    </message>
    <message>
        <source>Сохранить график в файл…</source>
        <translation>Save graph to file…</translation>
    </message>
    <message>
        <source>Файл комментария не записан: на экране нет эксперимента с файлами (загруженного или записанного в файл). Текст остался подписью графика.</source>
        <translation>The label file was not written: no experiment with files (loaded, or written to file) is on screen. The text stays the graph&apos;s caption.</translation>
    </message>
    <message>
        <source>Файл комментария не записан:
%1</source>
        <translation>The label file was not written:
%1</translation>
    </message>
    <message>
        <source>Изображение PNG (*.png);;Рисунок SVG (*.svg)</source>
        <translation>PNG image (*.png);;SVG drawing (*.svg)</translation>
    </message>
    <message>
        <source>Размер изображения</source>
        <translation>Image size</translation>
    </message>
    <message>
        <source>Ширина x высота в точках:</source>
        <translation>Width x height in pixels:</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CGraphicCtrl</name>
    <message>
        <source>График показаний</source>
        <translation>Readings graph</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CLoadAtStartDialog</name>
    <message>
        <source>Загрузка эксперимента</source>
        <translation>Loading the experiment</translation>
    </message>
    <message>
        <source>File (%1/%2):   %3</source>
        <translation>File (%1/%2):   %3</translation>
    </message>
    <message>
        <source>Ошибка загрузки файла:<byte value="xd"/>
%1</source>
        <translation>Error loading the file:<byte value="xd"/>
%1</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CLoadExperimentDialog</name>
    <message>
        <source>Загрузить результаты эксперимента</source>
        <translation>Load experiment results</translation>
    </message>
    <message>
        <source>Папка</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>Выбрать папку</source>
        <translation>Choose folder</translation>
    </message>
    <message>
        <source>Эксперименты</source>
        <translation>Experiments</translation>
    </message>
    <message>
        <source>№ </source>
        <translation>No. </translation>
    </message>
    <message>
        <source>Дата - время           </source>
        <translation>Date - time            </translation>
    </message>
    <message>
        <source>№ эксп.</source>
        <translation>Exp. No.</translation>
    </message>
    <message>
        <source>Вр.экс.,м</source>
        <translation>Duration, min</translation>
    </message>
    <message>
        <source>Формат</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>К-во пр</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>Список приборов эксперимента</source>
        <translation>Devices of the experiment</translation>
    </message>
    <message>
        <source>Комментарий</source>
        <translation>Comment</translation>
    </message>
    <message>
        <source>Папка:</source>
        <translation>Folder:</translation>
    </message>
    <message>
        <source>Архив (БД)</source>
        <translation>Archive (database)</translation>
    </message>
    <message>
        <source>File (%1/%2):   %3</source>
        <translation>File (%1/%2):   %3</translation>
    </message>
    <message>
        <source>Папка экспериментов</source>
        <translation>Experiment folder</translation>
    </message>
    <message>
        <source>Загрузка невозможна, пока идет эксперимент или поиск приборов.</source>
        <translation>Nothing can be loaded while an experiment or a device search runs.</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CLoadRunner</name>
    <message>
        <source>%1: файл не загружен (%2).</source>
        <translation>%1: the file was not loaded (%2).</translation>
    </message>
    <message>
        <source>%1: пропущено строк, не содержащих записи: %2.</source>
        <translation>%1: lines without a record skipped: %2.</translation>
    </message>
    <message>
        <source>%1: пропущено записей с невозможными значениями (время, Цикл, Cст, GvEr): %2.</source>
        <translation>%1: records with impossible values (время, Цикл, Cст, GvEr) skipped: %2.</translation>
    </message>
    <message>
        <source>%1: пропущено неизвестных столбцов: %2.</source>
        <translation>%1: unknown columns skipped: %2.</translation>
    </message>
    <message>
        <source>%1: неполная последняя запись (%2 байт) не загружена.</source>
        <translation>%1: the incomplete last record (%2 bytes) was not loaded.</translation>
    </message>
    <message>
        <source>%1: чтение остановлено: %2.</source>
        <translation>%1: reading stopped: %2.</translation>
    </message>
    <message>
        <source>Загрузка эксперимента</source>
        <translation>Loading the experiment</translation>
    </message>
    <message>
        <source>Эксперимент загружен не полностью:
%1</source>
        <translation>The experiment was not loaded in full:
%1</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CMainFrame</name>
    <message>
        <source>Dravmer v.%1</source>
        <translation>Dravmer v.%1</translation>
    </message>
    <message>
        <source>Панель инструментов</source>
        <translation>Toolbar</translation>
    </message>
    <message>
        <source>Страница «%1» появится в следующей версии программы.</source>
        <translation>The page &quot;%1&quot; will come in a later version of the program.</translation>
    </message>
    <message>
        <source>Порт %1 не открыт: %2</source>
        <translation>Port %1 is not open: %2</translation>
    </message>
    <message>
        <source>Порт %1 снова открыт.</source>
        <translation>Port %1 is open again.</translation>
    </message>
    <message>
        <source>Порт %1: ожидание завершения опроса прошлого эксперимента…</source>
        <translation>Port %1: waiting for the polling of the last experiment to end…</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Порт %1: опрос остановился; приборы этого порта больше не опрашиваются. Остановите и снова запустите эксперимент.</source>
        <translation>Port %1: polling stopped; the devices of this port are no longer polled. Stop the experiment and start it again.</translation>
    </message>
    <message>
        <source>Файл настроек</source>
        <translation>Settings file</translation>
    </message>
    <message>
        <source>Порт %1: опрос остановлен</source>
        <translation>Port %1: polling stopped</translation>
    </message>
    <message>
        <source>Процент загрузки СОМ порта / количество клиентов
Клиенты: </source>
        <translation>COM port load, percent / number of clients
Clients: </translation>
    </message>
    <message>
        <source>Параметры связи.%1</source>
        <translation>Link parameters.%1</translation>
    </message>
    <message>
        <source>Stat range: %1 - %2</source>
        <translation>Stat range: %1 - %2</translation>
    </message>
    <message>
        <source>Список приборов пуст.</source>
        <translation>The device list is empty.</translation>
    </message>
    <message>
        <source>Расчет статистики</source>
        <translation>Compute statistics</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Запуск отменяется: идёт последний обмен с прибором…</source>
        <translation>Cancelling the start: the last exchange with the device is under way…</translation>
    </message>
    <message>
        <source>Порт %1 (%2): прибор пока не ответил.</source>
        <translation>Port %1 (%2): the device has not answered yet.</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CMainGraphSettingsPage</name>
    <message>
        <source>Количество клеток по вертикали</source>
        <translation>Vertical grid cells</translation>
    </message>
    <message>
        <source>Количество клеток по вертикали (2 - 20)</source>
        <translation>Vertical grid cells (2 - 20)</translation>
    </message>
    <message>
        <source>Автоматический подбор масштаба при запуске</source>
        <translation>Fit the scale automatically at the start</translation>
    </message>
    <message>
        <source>Выделение</source>
        <translation>Selection</translation>
    </message>
    <message>
        <source>Выделение с отметками начало - конец</source>
        <translation>Selection with start and end marks</translation>
    </message>
    <message>
        <source>Выделение с инверсией цвета</source>
        <translation>Selection with inverted colours</translation>
    </message>
    <message>
        <source>Цвет выделения</source>
        <translation>Selection colour</translation>
    </message>
    <message>
        <source>Выводить значение реального времени на гор. оси</source>
        <translation>Show clock time on the horizontal axis</translation>
    </message>
    <message>
        <source>Количество клеток должно быть от 2 до 20.</source>
        <translation>The number of cells must be from 2 to 20.</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CPortSettingsPage</name>
    <message>
        <source>Включить порт</source>
        <translation>Port on</translation>
    </message>
    <message>
        <source>COM порт</source>
        <translation>COM port</translation>
    </message>
    <message>
        <source>COM порт сервера</source>
        <translation>Server COM port</translation>
    </message>
    <message>
        <source>по номеру COM (COMn = /dev/ttyS(n-1))</source>
        <translation>by COM number (COMn = /dev/ttyS(n-1))</translation>
    </message>
    <message>
        <source>Устройство порта</source>
        <translation>Port device path</translation>
    </message>
    <message>
        <source>Последовательный порт системы или любой путь; пусто: по номеру COM</source>
        <translation>A serial port of the system or any path; empty: by COM number</translation>
    </message>
    <message>
        <source>Тип порта</source>
        <translation>Port type</translation>
    </message>
    <message>
        <source>Ожидание ответа, мс</source>
        <translation>Reply time-out, ms</translation>
    </message>
    <message>
        <source>IP адрес</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>Порт сервера</source>
        <translation>Server port</translation>
    </message>
    <message>
        <source>Устройство:</source>
        <translation>Device path:</translation>
    </message>
    <message>
        <source>Тип порта:</source>
        <translation>Port type:</translation>
    </message>
    <message>
        <source>Ожидание ответа, мс:</source>
        <translation>Reply time-out, ms:</translation>
    </message>
    <message>
        <source>Рсширенные настройки соединения через СОМ</source>
        <translation>Advanced COM connection settings</translation>
    </message>
    <message>
        <source>Сервер</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>Скорость:</source>
        <translation>Speed:</translation>
    </message>
    <message>
        <source>Скорость</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>Настройки модема</source>
        <translation>Modem settings</translation>
    </message>
    <message>
        <source>Номер телефона:</source>
        <translation>Phone number:</translation>
    </message>
    <message>
        <source>Дополнит. команды АТ:</source>
        <translation>Extra AT commands:</translation>
    </message>
    <message>
        <source>Ожидание соединения, с:</source>
        <translation>Dial wait, s:</translation>
    </message>
    <message>
        <source>Настройки порта</source>
        <translation>Port settings</translation>
    </message>
    <message>
        <source>Линии DTR и RTS</source>
        <translation>DTR and RTS lines</translation>
    </message>
    <message>
        <source>выключена</source>
        <translation>off</translation>
    </message>
    <message>
        <source>включена</source>
        <translation>on</translation>
    </message>
    <message>
        <source>квитирование (= включена)</source>
        <translation>handshake (= on)</translation>
    </message>
    <message>
        <source>включается на время передачи</source>
        <translation>on while sending</translation>
    </message>
    <message>
        <source>В Linux нет квитирования только на приём: при «квитировании» линия включается при открытии порта и остаётся включённой, как при выборе «включена».</source>
        <translation>Linux has no handshake that holds back input only: with “handshake” the line is raised when the port opens and stays raised, as with “on”.</translation>
    </message>
    <message>
        <source>Линия DTR</source>
        <translation>DTR line</translation>
    </message>
    <message>
        <source>Уровень линии DTR, пока порт открыт.</source>
        <translation>The level of the DTR line while the port is open.</translation>
    </message>
    <message>
        <source>Линия RTS</source>
        <translation>RTS line</translation>
    </message>
    <message>
        <source>Уровень линии RTS, пока порт открыт; «включается на время передачи» переключает направление преобразователя RS-485. У типов порта RS-485 направление переключает сам тип.</source>
        <translation>The level of the RTS line while the port is open; “on while sending” switches the direction of an RS-485 converter. With the RS-485 port types the type itself switches the direction.</translation>
    </message>
    <message>
        <source>DTR:</source>
        <translation>DTR:</translation>
    </message>
    <message>
        <source>RTS:</source>
        <translation>RTS:</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CProgramSettingsPage</name>
    <message>
        <source>Состояние кнопки записи в файл при запуске</source>
        <translation>The write-to-file button at start</translation>
    </message>
    <message>
        <source>Сохранять состояние</source>
        <translation>Keep its state</translation>
    </message>
    <message>
        <source>Всегда включать при запуске </source>
        <translation>Always on at start </translation>
    </message>
    <message>
        <source>Путь для сохранения файлов</source>
        <translation>Folder for the files</translation>
    </message>
    <message>
        <source>Обзор...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>Добавлять к пути /ГодМесяЦ/ГодМесяцДень/</source>
        <translation>Add /YearMonth/YearMonthDay/ to the path</translation>
    </message>
    <message>
        <source>Формат сохранения файлов</source>
        <translation>File format</translation>
    </message>
    <message>
        <source>Текстовой (.txt)</source>
        <translation>Text (.txt)</translation>
    </message>
    <message>
        <source>Бинарный (.adc)</source>
        <translation>Binary (.adc)</translation>
    </message>
    <message>
        <source>Регистрация файлов .adc в системе</source>
        <translation>.adc files in the system</translation>
    </message>
    <message>
        <source>Открывать .adc файлы программой Dravmer</source>
        <translation>Open .adc files with Dravmer</translation>
    </message>
    <message>
        <source>Загружать все файлы эксперимента</source>
        <translation>Load all files of an experiment</translation>
    </message>
    <message>
        <source>Период опроса:</source>
        <translation>Poll period:</translation>
    </message>
    <message>
        <source>Период опроса, с</source>
        <translation>Poll period, s</translation>
    </message>
    <message>
        <source>c</source>
        <translation>s</translation>
    </message>
    <message>
        <source>База данных экспериментов</source>
        <translation>Experiment database</translation>
    </message>
    <message>
        <source>Сохранять каждый эксперимент в БД при остановке</source>
        <translation>Save every experiment to the database when it stops</translation>
    </message>
    <message>
        <source>Адрес БД:</source>
        <translation>Database address:</translation>
    </message>
    <message>
        <source>Адрес базы данных</source>
        <translation>Database address</translation>
    </message>
    <message>
        <source>sqlite:ПУТЬ - файл на этом компьютере (пусто - файл по умолчанию);
postgresql://пользователь@сервер/база - сервер лаборатории</source>
        <translation>sqlite:PATH - a file on this computer (empty - the default file);
postgresql://user@server/database - the lab&apos;s server</translation>
    </message>
    <message>
        <source>Передача записей в MQTT во время эксперимента</source>
        <translation>Records to MQTT during an experiment</translation>
    </message>
    <message>
        <source>Брокер:</source>
        <translation>Broker:</translation>
    </message>
    <message>
        <source>mqtt://сервер:1883 (пусто - не передавать)</source>
        <translation>mqtt://server:1883 (empty - do not send)</translation>
    </message>
    <message>
        <source>Адрес брокера MQTT</source>
        <translation>MQTT broker address</translation>
    </message>
    <message>
        <source>Тема:</source>
        <translation>Topic:</translation>
    </message>
    <message>
        <source>Префикс темы MQTT</source>
        <translation>MQTT topic prefix</translation>
    </message>
    <message>
        <source>Пользователь:</source>
        <translation>User:</translation>
    </message>
    <message>
        <source>Имя пользователя на брокере MQTT</source>
        <translation>MQTT broker user name</translation>
    </message>
    <message>
        <source>пусто - без имени или из адреса</source>
        <translation>empty: none, or the one in the address</translation>
    </message>
    <message>
        <source>Файл пароля:</source>
        <translation>Password file:</translation>
    </message>
    <message>
        <source>Файл с паролем брокера MQTT</source>
        <translation>MQTT broker password file</translation>
    </message>
    <message>
        <source>Пароль - первая строка этого файла (без файла - переменная DRAVMER_MQTT_PASSWORD)</source>
        <translation>The password is the first line of this file (without a file: the variable DRAVMER_MQTT_PASSWORD)</translation>
    </message>
    <message>
        <source>Записи идут в ПРЕФИКС/&lt;адрес прибора&gt;/record, начало и конец эксперимента - в ПРЕФИКС/experiment</source>
        <translation>Records go to PREFIX/&lt;device address&gt;/record, the start and end of an experiment to PREFIX/experiment</translation>
    </message>
    <message>
        <source>Язык интерфейса</source>
        <translation>Interface language</translation>
    </message>
    <message>
        <source>Как в системе</source>
        <translation>System</translation>
    </message>
    <message>
        <source>Применяется при следующем запуске программы.</source>
        <translation>Takes effect at the next start of the program.</translation>
    </message>
    <message>
        <source>Период опроса</source>
        <translation>Poll period</translation>
    </message>
    <message>
        <source>Адрес базы данных начинается с sqlite: или postgresql://</source>
        <translation>A database address begins with sqlite: or postgresql://</translation>
    </message>
    <message>
        <source>Передача записей в MQTT</source>
        <translation>Records to MQTT</translation>
    </message>
    <message>
        <source>Адрес брокера: mqtt://сервер[:порт]. %1</source>
        <translation>Broker address: mqtt://server[:port]. %1</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CReadingsPage</name>
    <message>
        <source>Показания АЦП</source>
        <translation>ADC readings</translation>
    </message>
    <message>
        <source>Статистика</source>
        <translation>Statistics</translation>
    </message>
    <message>
        <source>Пар</source>
        <translation>Par</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CSaveParamsDialog</name>
    <message>
        <source>Сохранить параметры приборов</source>
        <translation>Save device parameters</translation>
    </message>
    <message>
        <source>Отчёт</source>
        <translation>Report</translation>
    </message>
    <message>
        <source>Сохранить</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Остановка...</source>
        <translation>Stopping...</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CSettingsSheet</name>
    <message>
        <source>Настройки</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Страницы настроек</source>
        <translation>Settings pages</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Применить</source>
        <translation>Apply</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CStatGraphCtrl</name>
    <message>
        <source>График среднее UG0-9</source>
        <translation>Average UG0-9 graph</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CStatGraphSettingsPage</name>
    <message>
        <source>Фон графика</source>
        <translation>Graph background</translation>
    </message>
    <message>
        <source>Среднее, нечётные (O)</source>
        <translation>Average, odd (O)</translation>
    </message>
    <message>
        <source>Среднее, чётные (E)</source>
        <translation>Average, even (E)</translation>
    </message>
    <message>
        <source>Мгновенные, нечётные (O)</source>
        <translation>Latest, odd (O)</translation>
    </message>
    <message>
        <source>Мгновенные, чётные (E)</source>
        <translation>Latest, even (E)</translation>
    </message>
    <message>
        <source>Выводить мгновенные значения</source>
        <translation>Show the latest values</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CStatusPanes</name>
    <message>
        <source>Индикатор передачи данных</source>
        <translation>Data transfer indicator</translation>
    </message>
    <message>
        <source>Индикатор передачи данных, порт %1</source>
        <translation>Data transfer indicator, port %1</translation>
    </message>
    <message>
        <source>Параметры связи</source>
        <translation>Link parameters</translation>
    </message>
    <message>
        <source>Параметры связи, порт %1</source>
        <translation>Link parameters, port %1</translation>
    </message>
    <message>
        <source>Процент загрузки СОМ порта / количество клиентов</source>
        <translation>COM port load, percent / number of clients</translation>
    </message>
    <message>
        <source>Загрузка порта %1</source>
        <translation>Port %1 load</translation>
    </message>
    <message>
        <source>Диапазон статистики</source>
        <translation>Statistics range</translation>
    </message>
    <message>
        <source>передача</source>
        <translation>sending</translation>
    </message>
    <message>
        <source>приём</source>
        <translation>receiving</translation>
    </message>
    <message>
        <source>передача и приём</source>
        <translation>sending and receiving</translation>
    </message>
    <message>
        <source>порт не открыт</source>
        <translation>port not open</translation>
    </message>
    <message>
        <source>нет обмена</source>
        <translation>no traffic</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CStreamControl</name>
    <message>
        <source>MQTT: пароль брокера не прочитан (%1); записи не публикуются.</source>
        <translation>MQTT: the broker password was not read (%1); the records are not published.</translation>
    </message>
    <message>
        <source>MQTT: пароль указан в адресе брокера, где его видит любой пользователь компьютера; укажите файл пароля (Stream/MqttPasswordFile) или переменную DRAVMER_MQTT_PASSWORD.</source>
        <translation>MQTT: the password is in the broker address, where every user of this computer sees it; give a password file (Stream/MqttPasswordFile) or the variable DRAVMER_MQTT_PASSWORD.</translation>
    </message>
    <message>
        <source>Состояние связи с брокером MQTT</source>
        <translation>Connection to the MQTT broker</translation>
    </message>
    <message>
        <source>MQTT: адрес брокера не подходит (%1); записи не публикуются.</source>
        <translation>MQTT: the broker address cannot be used (%1); the records are not published.</translation>
    </message>
    <message>
        <source>MQTT: соединение…</source>
        <translation>MQTT: connecting…</translation>
    </message>
    <message>
        <source>MQTT: опубликовано записей: %1%2</source>
        <translation>MQTT: records published: %1%2</translation>
    </message>
    <message>
        <source>, не отправлено: %1</source>
        <translation>, not sent: %1</translation>
    </message>
    <message>
        <source>MQTT: есть связь</source>
        <translation>MQTT: connected</translation>
    </message>
    <message>
        <source>MQTT: нет связи</source>
        <translation>MQTT: no connection</translation>
    </message>
    <message>
        <source>MQTT</source>
        <translation>MQTT</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CTableSettingsPage</name>
    <message>
        <source>Выделение значений, выходящих за допуск</source>
        <translation>Marking values out of tolerance</translation>
    </message>
    <message>
        <source>Цвет</source>
        <translation>Colour</translation>
    </message>
    <message>
        <source>Цвет ячеек таблиц со значениями вне допуска:</source>
        <translation>Colour of table cells with values out of tolerance:</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CUpdateOffer</name>
    <message>
        <source>Загрузка новой версии отменена.</source>
        <translation>The download of the new version was cancelled.</translation>
    </message>
    <message>
        <source>Загрузка новой версии прервалась или принесла не тот файл, который описал сервер.</source>
        <translation>The download of the new version broke off, or brought another file than the one the server described.</translation>
    </message>
    <message>
        <source>Файл новой версии на сервере больше %1 МБ: такой файл не загружается.</source>
        <translation>The new version&apos;s file on the server is larger than %1 MB: such a file is not downloaded.</translation>
    </message>
    <message>
        <source>Не удалось записать новую версию в папку программы (нет места на диске или нет прав на запись).</source>
        <translation>The new version could not be written to the program&apos;s folder (no room on the disk, or no permission to write).</translation>
    </message>
    <message>
        <source>Загруженный файл не является программой для этого компьютера.</source>
        <translation>The downloaded file is not a program for this computer.</translation>
    </message>
    <message>
        <source>Сервер не опубликовал контрольную сумму SHA-256 новой версии, а ключ проверки подписи не задан: непроверенная версия не устанавливается.</source>
        <translation>The server did not publish the new version&apos;s SHA-256 checksum, and no signature key is set: an unchecked version is not installed.</translation>
    </message>
    <message>
        <source>Загруженный файл не совпадает с контрольной суммой SHA-256, опубликованной сервером.</source>
        <translation>The downloaded file does not match the SHA-256 checksum the server published.</translation>
    </message>
    <message>
        <source>Ключ проверки подписи в настройках (UpdateVersionSettings/PublicKey) неверен: нужны 64 шестнадцатеричные цифры.</source>
        <translation>The signature key in the settings (UpdateVersionSettings/PublicKey) is invalid: 64 hexadecimal digits are needed.</translation>
    </message>
    <message>
        <source>На сервере нет подписи новой версии: неподписанная версия не устанавливается.</source>
        <translation>The server has no signature of the new version: an unsigned version is not installed.</translation>
    </message>
    <message>
        <source>Новая версия подписана другим ключом, а не ключом, заданным в настройках: она не устанавливается.</source>
        <translation>The new version is signed with another key than the one in the settings: it is not installed.</translation>
    </message>
    <message>
        <source>Подпись новой версии не сходится: файл изменён или повреждён, он не устанавливается.</source>
        <translation>The new version&apos;s signature does not match: the file was changed or damaged and is not installed.</translation>
    </message>
    <message>
        <source>Подпись на сервере сделана для другой версии программы, чем предложенная: старая версия выдана за новую, она не устанавливается.</source>
        <translation>The signature on the server was made for another version of the program than the one offered: an old version is passed off as a new one and is not installed.</translation>
    </message>
    <message>
        <source>Загруженная программа не сообщила ожидаемый номер версии.</source>
        <translation>The downloaded program did not report the expected version number.</translation>
    </message>
    <message>
        <source>Не удалось сохранить текущую версию или запустить новую.</source>
        <translation>The current version could not be kept, or the new one could not be started.</translation>
    </message>
    <message>
        <source>Да</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Загрузка новой версии программы...</source>
        <translation>Downloading the new version of the program...</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Обновление версии</source>
        <translation>Version update</translation>
    </message>
    <message>
        <source>Новая версия программы %1.%2 загружена и проверена.
Установить её сейчас? Программа закроется и запустится в новой версии.</source>
        <translation>The new version %1.%2 of the program was downloaded and checked.
Install it now? The program will close and start again in the new version.</translation>
    </message>
    <message>
        <source>Не удалось обновить программу.
%1
Текущая версия %2 продолжает работу.</source>
        <translation>The program could not be updated.
%1
The current version %2 goes on running.</translation>
    </message>
</context>
<context>
    <name>dravmer::ui::CWaitDeviceDialog</name>
    <message>
        <source>Ожидание связи с прибором</source>
        <translation>Waiting for the device</translation>
    </message>
    <message>
        <source>Ожидание
включения
прибора
№ %1</source>
        <translation>Waiting
for
device
%1</translation>
    </message>
    <message>
        <source>Ожидание включения прибора</source>
        <translation>Waiting for the device to come on</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Продолжить запуск без ответа этого прибора</source>
        <translation>Go on with the start without this device&apos;s answer</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Не запускать эксперимент</source>
        <translation>Do not start the experiment</translation>
    </message>
</context>
</TS>
