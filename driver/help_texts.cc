// The help texts of quelby: the index, the basic, advanced, shortcut and
// metadata levels, and the closing disclaimer.
#include "driver/help.h"

const char* HelpIndexText() {
  return R"TXT(-help         Basic help.
-?            Basic help.
-??           Advanced/Expert help.
-????         Shortcut help.
-sc?          Shortcut help.
-meta?        Metadata help.

Usage:
 Quelby [switches] [-b basedn] [-f filter] [attr list]

   basedn        RFC 2253 DN to base search from.
   filter        RFC 2254 LDAP filter.
   attr list     List of specific attributes to return, if nothing specified
                 returns 'default' attributes, aka * set.

  Switches: (designated by - or /)

)TXT";
}

const char* HelpBasicText() {
  return R"TXT(           [CONNECTION OPTIONS]
   -h host:port  Host and port to use. If not specified uses port 389 on
                 the default server. A host of "." is this computer.
   -gc           Search the Global Catalog (port 3268).
   -p port       Alternate port for the connection. Overrides the port
                 given with -h.

           [QUERY OPTIONS]
   -s scope      Scope of search. Base, One[Level], Sub[tree]. Default is
                 Subtree.
   -t timeout    Time limit for the search in seconds. Default is 120.

           [OUTPUT OPTIONS]
   -c            Object count only, no entries are printed.
   -dn           Only output the DN of each returned object.
                 See -?? for every switch.

  Notes:
    Values and filters that hold characters outside US ASCII are passed
    to and from the directory as UTF-8 text; use a UTF-8 terminal to type
    and read them. A switch and its value are separated by a blank; a
    value that holds blanks must be quoted for the shell.

  Ex1:
    quelby -b dc=example,dc=com -f "(&(objectcategory=person)(cn=jo*))"
      Returns all attributes of the users whose name begins with jo.

  Ex2:
    quelby -b dc=example,dc=com -f "(&(objectcategory=person)(cn=jo*))" sn mail
      Returns only the sn and mail attributes of the same users.

  Ex3:
    quelby -h .:50000 -b o=apps -f objectclass=*
      Returns every object below o=apps of the directory instance
      listening on port 50000 of this computer.
)TXT";
}

const char* HelpAdvancedText() {
  return R"TXT(           [CONNECTION OPTIONS]
   -h host:port  Host and port to use. If not specified uses port 389 on
                 the default server. A host of "." is this computer.
   -gc           Search the Global Catalog (port 3268). Overrides any
                 port given with -h or -p.
   -p port       Alternate port for the connection. Overrides the port
                 given with -h.
   --------------Advanced--------------
   -ssl          Use an SSL connection (port 636, or 3269 with -gc).
   -udp          Use connectionless LDAP (UDP). Only base searches of
                 the RootDSE work well this way. Schema knowledge is then
                 read over a second, ordinary connection.
   -nr           Do not chase referrals. Default is to chase them.
   -kerbenc      Use Kerberos encryption on the connection.
   --------------Expert--------------
   -exterr       Request extended error information from the server.
                 The server's own error text is printed after an LDAP
                 error line as "Extended Error: (text)".

           [QUERY OPTIONS]
   -s scope      Scope of search. Base, One[Level], Sub[tree]. Default is
                 Subtree.
   -t timeout    Time limit for the search in seconds. Default is 120.
                 0 leaves the search without a client time limit.
   -ps size      Page size of the search. Default is 1000.
   -maxe n       Maximum number of entries to return. Default is no limit.
   --------------Advanced--------------
   -schema       Use the schema naming context as the base.
   -config       Use the configuration naming context as the base.
   -default      Use the default naming context as the base.
   -domain       Same as -default.
   -root         Use the root domain naming context as the base.
   -null         Use the null (empty) base.
   -rb base      Relative base put in front of a special base, for example
                 -default -rb cn=users.
   -ff filenm    Pulls query filter from file named filenm. Only the first
                 line of the file is used; -f wins over -ff. An empty
                 first line gives the default filter objectclass=*.
   -bit          Special filter conversion enable. Rewrites the operators
                 :AND:=, :OR:=, :INCHAIN:= and :NEST:= into the matching
                 rule OIDs of the directory.
   -binenc       Transform filter elements to proper format:
                   {{GUID:guid value}}
                   {{SID:sid value}}
                   {{BIN:hex string}}
                   {{UTC:YYYY/MM/DD-HH:MM:SS}}
                   {{LOCAL:YYYY/MM/DD-HH:MM:SS}}
   -sort attr    Server side sort on attr. With -list and no attr the
                 first requested attribute is used.
   -rsort attr   Reverse server side sort on attr.
   --------------Expert--------------
   -showdel      Show deleted objects (show deleted control).
   -pr           Phantom root control: a search from the null base or a
                 partition head covers the naming contexts below it.
   -nrss         Ask the server not to generate continuation referrals.
   -asq attr     Attribute scoped query on attr; the scope becomes base.
   -extname      Extended DN control: DNs with their GUID and SID.
   -stats        Request the search statistics and print them.
   -stats+       The same, with an analysis of the statistics.
   -statsonly    Statistics only, no entries.
   -stats+only   Statistics with the analysis only.
   -dloid        Do not load attribute types from the schema.
   -prnr         Accepted for compatibility; changes nothing.

   Paging Notes:
   =============
   The search is always paged. -ps sets how many entries the server
   returns per page; servers cap the page size (1000 on Active
   Directory by default), so larger values give no gain. -maxe stops
   the output after that many entries, however many pages that takes.
   -t limits each page request, not the whole search. It also limits
   every other wait for the server (connecting, binding, the RootDSE,
   the preloads, SID lookups) and the reading of all ranges of one
   attribute; with -t 0 each of those waits ends after 120 seconds.

           [OUTPUT OPTIONS]
   -c            Object count only, no entries are printed.
   -dn           Only output the DN of each returned object.
   -nodn         Do not output DNs.
   -q            Quiet: no banner and no header lines.
   -d            Debug output.
   --------------Advanced--------------
   -list         List layout: values only, no DNs and no labels.
   -qlist        Quoted list layout.
   -dsq          DNs only, each in double quotes.
   -nolabel      Do not print attribute labels.
   -noctl        Print control characters in values as blanks.
   -excl attrs   Attributes to leave out of the display, separated by ;.
   -excldn strs  Leave out entries whose DN holds one of these strings,
                 separated by ; (or the -excldndelim value).
   -excldndelim d  Delimiter of the -excldn strings. Default is ;.
   -incldn strs  Only output entries whose DN holds one of these strings,
                 separated by ; (or the -incldndelim value).
   -incldndelim d  Delimiter of the -incldn strings. Default is ;.
   -recmute      Do not print an entry whose attributes all came out empty.
   -soao         Output the attributes of each entry in sorted name order.
   -oao text     Output the attributes in the order they were requested;
                 text is printed for an attribute an entry does not have.
   -csv text     CSV output. text is printed for empty attributes.
   -csvdelim d   CSV field delimiter. Default is ,.
   -csvmvdelim d CSV delimiter between the values of one attribute.
                 Default is ;.
   -csvq q       CSV quote character. Default is ".
   -csvnoq       No CSV quote character.
   -nocsvheader  Do not print the CSV header line.
   -po           Print the selected switches and attributes first.
   -elapsed      Print the time of the search in seconds.
   -elapsedms    Print the time of the search in milliseconds.
   -selapsed     Print every timed step of the run in seconds.
   -selapsedms   Print every timed step of the run in milliseconds.
   --------------Expert--------------
   -samdc        Decode account control, account type and group type
                 values and the domain password intervals.
   -flagdc       Decode flag attributes (search, system, instance and
                 package flags, behavior version).
   -schdc        Decode schema attributes (also turns on -flagdc).
   -rootdsedc    Decode RootDSE attributes (controls, capabilities and
                 functional levels).
   -sitenamedc   Show site GUIDs as site names.
   -tdc          Decode the common 64-bit time attributes.
   -tdcs         The same, in the sortable date form.
   -tdcgt        Decode generalized time attributes.
   -tdcgts       The same, in the sortable date form.
   -tdca         -tdc and -tdcgt together.
   -tdcas        -tdcs and -tdcgts together.
   -utc          Decoded times in UTC instead of local time.
   -resolvesids  Show SIDs with their account names.
   -resolvesidsldap  Resolve SIDs through the directory.
   -sidbinout    Output SIDs as hexadecimal bytes.
   -guidbinout   Output GUIDs as hexadecimal bytes.
   -sddc         Partial decoding of security descriptors.
   -sddl         Same as -sddc.
   -sddc+        Fuller decoding of security descriptors.
   -sddl+        Same as -sddc+.
   -sddc++       Fullest decoding of security descriptors.
   -sddl++       Same as -sddc++.
   -rawsddl      Also print the raw SDDL text (with one of the -sddc
                 switches).
   -owner        Add the object owner as _OBJECT_OWNER.
   -owneronly    Output the DN and the owner only.
   -ownercsv     Output the DN and the owner only, separated by ;.
   -sdna         Security descriptor parts readable without administrator
                 rights (no SACL).
   -noowner      Leave the owner out of security descriptors.
   -nogroup      Leave the group out of security descriptors.
   -nodacl       Leave the DACL out of security descriptors.
   -nosacl       Leave the SACL out of security descriptors.
   -onlydacl     Only the DACL.
   -onlysacl     Only the SACL.
   -onlydaclflag Only the DACL, with its flags line.
   -onlysaclflag Only the SACL, with its flags line.
   -onlyaclflags Only the flags lines of the DACL and SACL.
   -sdsize unit  Print the size of security descriptors; unit KB or MB.
   -sdsizenl     No unit text after the -sdsize figure.
   -sddlfilter f ACE filter: six ; separated fields (see below).
   -sddlnotfilter f  Negative ACE filter.
   -mvfilter f   Value filter: attr=text items separated by ; (see below).
   -mvnotfilter f  Negative value filter.
   -mvfilterdelim d  Delimiter between value filter items. Default is ;.
   -mvfiltercs   Value filters compare with case.
   -metasort key Sort key of replication metadata lines (see -meta?).
   -replacedn r  DN replacements: from:to pairs separated by ;. The
                 special items _config, _schema, _default, _root, _sites,
                 _subnets and _exch stand for those DNs of the server,
                 for example -replacedn _config:<CONFIG>.
   -replacedndelim d  Delimiter between -replacedn pairs. Default is ;.

   Replace DN Notes:
   =================
   Each -replacedn item is a from text and a to text joined by :. Where
   several from texts match a DN, the longest one wins. The special items
   stand for DNs read from the server's RootDSE:
     _config    the configuration naming context, shown as <CONFIG>
     _schema    the schema naming context, shown as <SCHEMA>
     _default   the default naming context
     _root      the root domain naming context
     _sites     the sites container of the configuration
     _subnets   the subnets container of the configuration
     _exch      the Exchange organisation container
   Ex: -replacedn "_config;_schema;dc=example,dc=com:<DOMAIN>"

   Multivalue Filter Notes:
   ========================
   -mvfilter proxyaddresses=smtp keeps only the proxyAddresses values that
   contain smtp. Without -mvfiltercs the compare ignores case. A later item
   for the same attribute replaces an earlier one; -mvnotfilter drops the
   values that contain the text instead.

   SDDL Filter Notes:
   ==================
   The six fields are: ACE type; ACE flags; rights; object GUID;
   inherited object GUID; trustee. An empty field matches anything, so
   -sddlfilter ;inherited matches every inherited ACE.

           [AUTHENTICATION OPTIONS]
   -u user       User for the bind: domain\userid, a user principal name
                 or a DN (simple bind). An empty value binds anonymously.
                 Without -u the bind uses the Kerberos tickets of the user
                 who runs the program.
   -up pwd       Password for the bind. * prompts for it without showing
                 what is typed; Esc abandons the prompt.
   --------------Advanced--------------
   -simple       Simple bind instead of the negotiated bind.

           [MISC OPTIONS]
   -help, -?     Basic help.
   -??           This help.
   -????, -sc?   Shortcut help.
   -meta?        Metadata help.
   --------------Advanced--------------
   -e prefix     Read switches from environment variables whose names
                 begin with prefix (default quelby-). The rest of the name
                 is the switch; props names the attributes; {~} stands for
                 an empty value. A switch already given is not overridden.
                   Ex: env 'quelby-b=dc=example,dc=com' quelby -e
                   Ex: env "quelby-props=cn mail" quelby -e -default
                   Ex: env "corp-b=dc=corp" quelby -e corp
   -ef file      Read switches from file (default quelby.cf). A line that
                 starts with - or / sets one switch; other lines list
                 attributes. A switch in the file overrides the command line.
                   Ex: quelby -ef myquery.cf
                 A word that begins with / is read as a switch, so give
                 a file below / as a relative path (./x.cf or ../x.cf).
                 with myquery.cf holding the three lines
                   -b dc=example,dc=com
                   -f (objectcategory=person)
                   cn mail
   -sc name      Shortcut; see -sc?.
   -af filter    Filter added to the shortcut filters.
   --------------Expert--------------
   -decutc n     Decode a 64-bit time to UTC text, then stop.
   -declocal n   Decode a 64-bit time to local time text, then stop.
   -encutc t     Encode a UTC time YYYY/MM/DD-HH:MM:SS to a 64-bit time.
   -enclocal t   Encode a local time YYYY/MM/DD-HH:MM:SS to a 64-bit time.
   -decsddlacl a Decode an ACL given in SDDL, then stop.
   -adcsv text   CSV output with text for empty values, after a line of
                 settings for a companion program.
   -rootdse      Read the RootDSE with further attributes.
   -fullrootdse  Read the RootDSE with all further attributes; bin asks
                 for the binary forms.
   -alldc        Turn on every decoding switch.
   -sl           Sorted list: -sort and -list.
   -gcb          Global catalog with the null base: whole forest search.
   -scexchnosys  Shortcut filters leave out Exchange system objects.

  Notes about STATS functionality
    The statistics control is not available on a base search; the
    statistics switches are then ignored with a warning. The analysis
    of -stats+ lists the indices that the server used and the entries
    it had to visit for each entry it returned.
    The report shows the elapsed time on the server, the entries
    returned and visited, the filter as the server used it and the
    indices it chose. A search that visits many more entries than it
    returns is a candidate for a better filter or a new index.
    Statistics need rights on the server; without them no statistics
    are returned and the report says so.

  Notes:
    Switch names ignore case; values keep theirs. A switch and its value
    are separated by a blank. -t, -maxe and -p take a number of 0 or
    more, -ps a number of 1 or more. Delimiter values may use \t for a
    tab and \n for a line feed. Without -q the version banner goes to
    standard error, so that output redirected to a file holds only the
    results.

  Ex1:
    quelby -b dc=example,dc=com -f "(samaccountname=jdoe)" -samdc
      Returns jdoe with decoded account flags.
  Ex2:
    quelby -default -rb cn=users -s one -list -sort name name
      Lists the names of the objects in the users container, sorted.
  Ex3:
    quelby -gc -b "" -f "mail=*@example.com" -csv "" mail cn
      Whole forest search of mail addresses, as CSV.
  Ex4:
    quelby -b dc=example,dc=com -f "(userAccountControl:AND:=2)" -bit -dn
      DNs of the disabled accounts.
  Ex5:
    quelby -b dc=example,dc=com -binenc -f "(objectsid={{SID:S-1-5-32-544}})"
      Looks an object up by its SID.
  Ex6:
    quelby -config -f objectclass=ntdsdsa -sddc nTSecurityDescriptor
      Decoded security descriptors of the directory system agents.
  Ex7:
    quelby -encutc 2007/02/01-00:00:00
      Prints the 64-bit time of that UTC time.
  Ex8:
    quelby -b dc=example,dc=com -f objectcategory=group -mvfilter member=cn=a
      Prints only the members that contain cn=a.
)TXT";
}

const char* HelpShortcutText() {
  return R"TXT(
   Quelby Shortcuts
   ================
   Shortcuts are complete queries behind one name. A shortcut sets the
   base, scope, filter, attributes and output switches for you; switches
   that you type yourself are used as well, but a shortcut may replace a
   base, scope or filter that you gave.

   A shortcut is written as -sc name, or -sc name:argument where it
   takes an argument; the argument may itself contain colons. Names
   ignore case; an argument is used as typed and is not escaped. A name
   that is not known prints this help.

   Use -po to see which switches and attributes a shortcut selected.
   The listing shows the base, scope, filter and attributes exactly as
   the search will use them, so a shortcut can be used as the starting
   point of a query of your own.

   Many shortcuts come in an l form (sorted list output) and some in a
   csv form; -list, -csv and the other output switches may be given
   with any shortcut. Attributes you name are requested as well, unless
   the shortcut's own list replaces them.

   Shortcuts that take a SID or GUID (adsid, adamsid, adguid, adamguid,
   sguid, s2kguid, r2kguid) put it into the filter as a {{SID:xx}} or
   {{GUID:xx}} token and turn on -binenc, so that it is sent as the
   binary value the directory stores.

   Use -af to add a filter to the filter of a shortcut, for example
   -sc u:jdoe -af mail=* (give the -af filter without its outer
   parentheses).

   --------------Shortcuts--------------
   -af filter              Filter added to the shortcut filters: the
                           search runs with (&shortcut-filter(filter)).
   -scexchnosys            Leave Exchange system objects out of the
                           shortcut filters.

   QUICK OBJECT LOOKUP SHORTCUTS
   -sc fo:xx               Objects named xx, whole forest through the
                           global catalog unless -b is given.
   -sc kids:xx             Objects directly below the DN xx (one level).
   -sc u:xx                Users whose name or account name is xx.
   -sc g:xx                Groups whose name or account name is xx.
   -sc c:xx                Computers whose name or account name is xx.
                           xx is used as typed, so wildcards work:
                           -sc u:j* finds every user whose name begins
                           with j.

   IDENTITY, SID AND GUID SHORTCUTS
   -sc whoami              Name and token groups of the bound user.
   -sc adsid:xx            Object with the SID xx, through the global
                           catalog.
   -sc adguid:xx           Object whose objectGUID or Exchange mailbox
                           GUID is xx (no braces), through the global
                           catalog.
   -sc sguid:xx            Schema class or attribute whose schemaIDGUID
                           is xx, or extended right whose rightsGuid is
                           xx.
   -sc s2kguid:xx          Schema class or attribute whose schemaIDGUID
                           is xx, searched in the schema partition.
   -sc r2kguid:xx          Extended right whose rightsGuid is xx.

   PARTITION AND FUNCTIONAL LEVEL SHORTCUTS
   -sc modes               Functional levels of the domain controller,
                           domain and forest, read from the RootDSE.
   -sc forestmodes         Functional level of every domain.
   -sc forestmodes:csv     The same, as CSV.
   -sc dcmodes             Functional level of every domain controller.
   -sc dcmodes:csv         The same, as CSV.
   -sc masterncs           Naming contexts each domain controller
                           masters.
   -sc masterncs:csv       The same, as CSV.
   -sc domainncs           Cross-references of the domains.
   -sc domainncs:csv       The same, as CSV.
   -sc domainncssl         Domain naming contexts, list output.
   -sc appparts            Application partitions.
   -sc appparts:csv        The same, as CSV.
   -sc appparts+           Application partitions with their replicas.
   -sc appparts+:csv       The same, as CSV.
   -sc apppartsl           Application partition naming contexts, list
                           output.
                           Without :csv the attributes come out in a
                           fixed order, with <NOT SET> for a missing one.

   PROPERTY SET AND EXTENDED RIGHT SHORTCUTS
   -sc findpropsetrg:xx    Rights GUID of the property set named xx.
   -sc propsetmembers:xx   Schema attributes in the property set whose
                           rights GUID is xx.
   -sc propsetmembersl:xx  The same, as a sorted list.
   -sc listpropsets        Property sets.
   -sc listpropsetsl       Property sets, sorted list.
   -sc listpropsetscsv     Property sets, as CSV.
   -sc listvwrites         Validated writes.
   -sc listvwritesl        Validated writes, sorted list.
   -sc listvwritescsv      Validated writes, as CSV.
   -sc listxrights         Extended rights.
   -sc listxrightsl        Extended rights, sorted list.
   -sc listxrightscsv      Extended rights, as CSV.

   SCHEMA SHORTCUTS
   -sc s:xx                Schema objects named xx (wildcards work).
   -sc sl:xx               The same, names only, sorted list.
   -sc scontains:xx        Classes that may or must contain the
                           attribute xx.
   -sc scontainsl:xx       The same, names only, sorted list.
   -sc cc:xx               Classes derived from the class xx or using it
                           as an auxiliary class.
   -sc ccl:xx              The same, names only, sorted list.
   -sc pas                 Attributes in the partial attribute set (the
                           attributes the global catalog holds).
   -sc pasl                The same, names only, sorted list.
   -sc indexed             Indexed attributes.
   -sc indexedl            The same, names only, sorted list.
   -sc cindexed            Container indexed attributes.
   -sc cindexedl           The same, names only, sorted list.
   -sc sindexed            Subtree indexed attributes.
   -sc sindexedl           The same, names only, sorted list.
   -sc confidential        Confidential attributes.
   -sc confidentiall       The same, names only, sorted list.
   -sc copy                Attributes copied when a user is copied.
   -sc copyl               The same, names only, sorted list.
   -sc constructed         Constructed attributes.
   -sc constructedl        The same, names only, sorted list.
   -sc cat1                Category 1 (system) schema objects.
   -sc cat1l               The same, names only, sorted list.
   -sc norepl              Attributes that are not replicated.
   -sc norepll             The same, names only, sorted list.
   -sc norepl+             Not replicated, back links left out.
   -sc norepll+            The same, names only, sorted list.
   -sc anr                 Attributes used by ambiguous name resolution.
   -sc anrl                The same, names only, sorted list.
   -sc tuple               Attributes with tuple indexes.
   -sc tuplel              The same, names only, sorted list.
   -sc sdump               Every schema object with the same 38
                           attributes, sorted by name, for comparing two
                           schemas line by line.
   -sc sdump:attrib        Attribute definitions only.
   -sc sdump:class         Class definitions only.
   -sc sdump:csv           The dump as CSV.
   -sc tombstone           Attributes kept on tombstones.
   -sc tombstonel          The same, names only, sorted list.
   -sc linked              Linked attributes, sorted by link ID.
   -sc linked:fwd          Forward links only.
   -sc linked:rev          Back links only.
   -sc linkedl             Linked attributes, names only, sorted list.
   -sc linkedl:fwd         Forward links only, sorted list.
   -sc linkedl:rev         Back links only, sorted list.

   UNIVERSAL GROUP CACHING SHORTCUTS
   -sc ugcenabled          Sites with universal group caching enabled.
   -sc ugcenabledl         The same, as a list of DNs.
   -sc usedugc             Users and computers that have used universal
                           group caching.
   -sc usedugc:decode      The same, with site names and times decoded.
   -sc dumpugcinfo         Their cached membership.
   -sc dumpugcinfo:decode  The same, with site names, times and SIDs
                           resolved.

   FSMO SHORTCUTS
   -sc fsmo                Holders of the operations master roles in
                           every naming context of the server.
   -sc fsmo:all            The same.
   -sc fsmo:domain         The domain-wide role holders.
   -sc fsmo:pdc            The PDC emulator role holder.
   -sc fsmo:rid            The RID master role holder.
   -sc fsmo:im             The infrastructure master role holder.
   -sc fsmo:forest         The forest-wide role holders.
   -sc fsmo:schema         The schema master role holder.
   -sc fsmo:dnm            The domain naming master role holder.

   SECURITY DESCRIPTOR SHORTCUTS
   -sc sdfilter            Fully decoded security descriptors with
                           SIDs resolved, in the domain unless a base
                           is given.
   -sc sdfilter:xx         Only the descriptor lines that contain xx.
   -sc sdfilterns          The same without the SACL.
   -sc sdfilterns:xx       The same without the SACL, lines with xx.
   -sc explaces            Objects with explicit (not inherited) ACEs,
                           whole forest unless a base is given.
   -sc explaces:xx         Only explicit ACEs of trustees containing xx.
                           Your own -f narrows the objects of these
                           three; without one every object is shown.

   REPLICATION AND METADATA SHORTCUTS
   -sc objmeta:xx          Attribute and value metadata of object xx.
   -sc objsmeta:xx         The same for every object below xx.
   -sc legacylvr:xx        Legacy linked values of object xx.
   -sc legacylvrs:xx       The same for every object below xx.
   -sc legacygroupmembers:xx Legacy members of the groups below xx.
   -sc replqueue           Replication queue, pending operations and
                           failures of the server, from its RootDSE.
   -sc ncrepl              Cursors and neighbours of the naming context
                           given with -b.
                           See -meta? for the layout of these values.

   EXCHANGE SHORTCUTS
   -sc exchaddresses       E-mail addresses of mail-enabled objects.
   -sc exchaddresses:xx    Only addresses beginning with xx.
   -sc exchmbxs            Mail-enabled objects with a mailbox.
   -sc exchme              Mail-enabled objects without a mailbox.
   -sc exchme:users        The same, users only.
   -sc exchme:contacts     The same, contacts only.
   -sc exchme:groups       The same, groups only.
   -sc exchsmtpaddr        SMTP addresses.
   -sc exchsmtpaddr:xx     SMTP addresses in the mail domain xx.
   -sc exchprimarysmtp     Primary SMTP addresses.
                           All of these search the whole forest through
                           the global catalog unless -b is given.

   ADAM SHORTCUTS
   -sc adamsid:xx          Object with the SID xx in an ADAM instance.
   -sc adamguid:xx         Object with the GUID xx in an ADAM instance,
                           across all of its partitions.
   -sc caua                Adds the computed user account attributes of
                           ADAM to the attributes of your own query.
)TXT";
}

const char* HelpMetadataText() {
  return R"TXT(   MetaData Help
   =============
   The directory keeps replication metadata in constructed attributes,
   which must be asked for by name. Each has a text form (XML) and a
   binary form, asked for by adding ;binary to the name. quelby decodes
   the binary form into one line per item, sorted as described below.

   MetaData Attributes
   -------------------
   msDS-ReplQueueStatistics - RootDSE level
      Output: the number of queued operations and the times of the
      current and oldest operations of each kind.
      Default sort: none (one line).

   msDS-ReplPendingOps - RootDSE level
      Output: one line per pending replication operation.
      Default sort: queue order.
      -metasort options: dsa, date.

   msDS-ReplConnectionFailures and msDS-ReplLinkFailures - RootDSE level
      Output: one line per failing source with its failure count.
      Default sort: dsa.
      -metasort options: dsa, date (time of the first failure).

   msDS-ReplAllInboundNeighbors and msDS-ReplAllOutboundNeighbors
      - RootDSE level
      Output: one line per neighbour and naming context.
      Default sort: dsa.
      -metasort options: date (last success), nc, err.

   msDS-TopQuotaUsage - naming context level
      Output: one line per trustee with its quota usage.
      Default sort: as returned.
      -metasort options: nc, owner.

   msDS-NCReplInboundNeighbors and msDS-NCReplOutboundNeighbors
      - naming context level
      Output: one line per neighbour.
      Default sort: dsa.
      -metasort options: date (last success), nc, err.

   msDS-NCReplCursors - naming context level
      Output: one line per source with its up-to-date USN.
      Default sort: date (last synchronisation).
      -metasort options: dsa, date.

   msDS-ReplAttributeMetaData - object level
      Output: one line per attribute: local USN, source DSA, originating
      USN, time of the last change, version and attribute name.
      Default sort: attrib.
      -metasort options: dsa, date, usnloc, usnorig, ver.

   msDS-ReplValueMetaData - object level
      Output: one line per linked value: attribute, USNs, source DSA,
      time, version, (+) for a present or (-) for a deleted value and
      the value's DN. Values in legacy form (written before linked value
      replication was enabled) show LEGACY in place of their USNs.
      Default sort: by attribute, then by time.
      -metasort options: attrib, obj, dsa, state, usnloc, usnorig, ver.

   Sort Options
   ------------
   -metasort key sorts the decoded lines on that column; the keys each
   attribute knows are listed with it above. A key is matched by the
   beginning of the value and with case, so give it in lower case; a
   value that is no key of the attribute keeps its default order. A
   dash after the key, such as -metasort date-, reverses the order; a
   lone - reverses the default order.

  Ex1:
    quelby -b cn=jdoe,dc=x -s base msDS-ReplAttributeMetaData;binary
      Attribute metadata of one object, sorted by attribute name.
  Ex2:
    quelby -b cn=g,dc=x -s base msDS-ReplValueMetaData;binary -metasort date-
      Linked value metadata of a group, newest first within each attribute.
)TXT";
}

const char* HelpDisclaimerText() {
  return R"TXT(

 
 
 
 quelby reads from the directory and never writes to it. It is provided
 as is, without warranty of any kind; test queries against a test
 directory before you run them against production servers.
)TXT";
}
