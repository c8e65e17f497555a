#include "output/template_help.h"

namespace kov::cli {

const char* TemplateHelp() {
    return R"(URL templates

An item's Url (also its Referer and UploadFolder) is a template: "%" tokens in it are replaced
for the moment a session runs (shifted back by dayShift days) and for the item's current
number. Write "%%" for a "%" that must stay. A URL added with --add is taken literally (its
"%" signs are escaped) unless --template is given.

Date and time tokens (on 7 March 2005, 14:05:09):
  %Y  year, 4 digits           2005      %y  year, 2 digits              05
  %M  month, 2 digits          03        %m  month                       3
  %D  day, 2 digits            07        %d  day                         7
  %V  month name               March     %V3 its first three letters     Mar
  %v  month name, lower case   march     %v3 its first three letters     mar
  %ND day of the year, 3 digits 066      %Nd day of the year             66
  %NW week of the year, 2 digits 11      %Nw week of the year            11
  %H  hour, 2 digits           14        %h  hour                        14
  %T  minute, 2 digits         05        %t  minute                      5
  %S  second, 2 digits         09        %s  second                      9
  Weeks start on Sunday; week 1 holds January 1.

Number tokens (the item's CurrentNum, here 7):
  %u  decimal                  7         %3u decimal, 3 digits           007
  %x  hexadecimal              7         %2X hexadecimal, 2 digits, A-F  07
  %C  the character whose code is the number (33..249)

Series fields (set with --set N KEY=VALUE):
  NumBased=1      the Url holds a number series
  CurrentNum      the next number to fetch; a session advances it past each file found
  StopNumber      the last number (0: no end, go on while files are found)
  Tolerance       how many missing numbers in a row the series skips over (0..1000)
  dayShift        days subtracted from today before the date tokens are expanded
  days            also try up to this many earlier days (only with UpdateMode 1 or 2)
  interval        0 every session, N once every N days, -1 once only

Macros, in Dest and in list files and folders ({} names, any case):
  {APPFOLDER}  the program folder      {APPDRIVE}  the mount point holding it
  {LISTFOLDER} the list's save folder  {DD}        today's day, 2 digits
  Dest may also hold the date and number tokens above (%Y/%M/ for a folder per month).
  New items take Name, Referer and Dest from [NewUrlDefaults] in kov.ini, where also
  {URL} {SITE} {URLSITE} {DOMAIN} {SUBDOMAIN} {OBJECT} {DATE} {TIME} {YYYY} {MM} {LIST}
  {MRU} can be used.

--add URL --template: today's date in the URL (forms such as 07.03.2005, 2005-03-07,
20050307, 070305) becomes date tokens, and else a trailing number (at most 4 digits, not a
port) becomes a number series from that number, StopNumber that number plus the default
StopNumber (10), leading zeros kept: pic0042.jpg gives pic%4u.jpg. A URL that already holds
tokens is taken as the template it is.

Examples
  A daily page, fetched once a day, into a folder per month:
    kov-cli --add 'http://news.example.com/%Y/%M/%D/index.html' --template \
            --name news --dest '/srv/news/%Y-%M/'
    kov-cli --set 1 interval=1
  A numbered picture series that may skip two missing pictures:
    kov-cli --add http://pics.example.com/album/pic0001.jpg --template
    kov-cli --set 2 StopNumber=200 Tolerance=2
  Every .zip file of an FTP folder:
    kov-cli --add 'ftp://ftp.example.com/pub/releases/*.zip' --dest ~/releases/
  See what a session would fetch now, without fetching:
    kov-cli --dry-run
)";
}

}  // namespace kov::cli
