; GikoubutuForm1.frm - the printed lab-work schedule: one A4 portrait sheet per data page,
; with the title, the five short texts of the page and a table of 50 lines.
;
; Format (read by the FormPrinter library; UTF-8 text):
;   Lines are "[Section]" or "Key=Value"; lines starting with ";" or "#" are comments.
;   Lengths are millimetres from the top-left corner of the paper, font sizes points.
;   [Form]         Paper=A3|A4|A5|B4|B5|Letter, Orientation=Portrait|Landscape,
;                  FontFamily (any installed family), Title (used when the caller gives none)
;   [Title]        Box=x,y,width,height  FontSize  Bold=0|1  Align=Left|Center|Right
;   [SimpleDataN]  the same keys as [Title]; shows DataN of the page's [SimpleData]
;   [Table]        List=N shows [ListDataN]; X, Y of the top-left corner; HeaderHeight,
;                  RowHeight, Rows (lines per page); FontSize, HeaderFontSize (bold);
;                  LineWidth of the rules; HeaderShade=#rrggbb behind the column titles;
;                  ColumnN=title,width,field,align from left to right, where field is the
;                  last two digits of the data keys DataSSFF (SS the line, FF the field).
;   Every box and the table must lie on the paper; texts too long for a box end in "…".
;
; The data this form expects per page:
;   Data1 the print date and "page/pages", Data2 the clinic name, Data3 its address,
;   Data4 its telephone line, Data5 the date range; [ListData1] fields 01 running number,
;   02 item, 03 staff or outside lab, 04 due day, 05 finished day, 06 patient, 07 remarks.

[Form]
Paper=A4
Orientation=Portrait
FontFamily=IPAGothic
Title=技工物・予定表

[Title]
Box=55,10,100,10
FontSize=16
Bold=1
Align=Center

[SimpleData1]
Box=140,10,60,5
FontSize=9
Align=Right

[SimpleData5]
Box=40,21,130,6
FontSize=10
Align=Center

[SimpleData2]
Box=100,28,100,5
FontSize=10
Bold=1
Align=Right

[SimpleData3]
Box=100,33,100,4.5
FontSize=8.5
Align=Right

[SimpleData4]
Box=100,37.5,100,4.5
FontSize=8.5
Align=Right

[Table]
List=1
X=10
Y=44
HeaderHeight=6
RowHeight=4.7
Rows=50
FontSize=7.5
HeaderFontSize=8
LineWidth=0.2
HeaderShade=#e4e4e4
Column1=No.,8,1,Right
Column2=予定,33,2,Left
Column3=スタッフ・外注先,27,3,Left
Column4=完成予定日,29,4,Left
Column5=完成日,21,5,Left
Column6=患者,34,6,Left
Column7=備考,38,7,Left
