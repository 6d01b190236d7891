# wish form.tcl TITLE [PIXELS]: a small form in Tk's default fonts (12 px UI text, or PIXELS):
# menus, labels, entries, buttons and a status bar, each on its own background. Shows the lines
# of form.txt.
wm title . [lindex $argv 0]
if {[llength $argv] > 1} {
  foreach font {TkDefaultFont TkTextFont TkMenuFont} {
    font configure $font -size -[lindex $argv 1]
  }
}
menu .m
. configure -menu .m
foreach name {File Edit View Help} {
  .m add cascade -label $name -menu .m.[string tolower $name]
  menu .m.[string tolower $name] -tearoff 0
}
ttk::frame .f -padding 12
grid .f -sticky nsew
set row 0
foreach {label value} {Name: {Hanako Yamada} Email: hanako@example.com
                       Department: {Sales and Marketing} 表示言語: 日本語} {
  ttk::label .f.l$row -text $label
  ttk::entry .f.e$row -width 28
  .f.e$row insert 0 $value
  grid .f.l$row .f.e$row -sticky w -padx 4 -pady 3
  incr row
}
set weekly 1
set period weekly
ttk::checkbutton .f.c -text "Send me the weekly summary" -variable weekly
grid .f.c - -sticky w -padx 4 -pady 3
ttk::frame .f.r
ttk::radiobutton .f.r.d -text Daily -value daily -variable period
ttk::radiobutton .f.r.w -text Weekly -value weekly -variable period
pack .f.r.d .f.r.w -side left -padx 4
grid .f.r - -sticky w -pady 3
ttk::frame .f.b
ttk::button .f.b.a -text Apply
ttk::button .f.b.c -text Cancel
pack .f.b.a .f.b.c -side left -padx 4
grid .f.b - -sticky e -pady 8
ttk::label .s -text "Status: ready, 3 records loaded." -relief sunken -padding {6 2}
grid .s -sticky ew
grid columnconfigure . 0 -weight 1
wm geometry . 460x300
